# Read by cpack before it packs: every file in the zip gets the time of the commit it was built from, so that
# one commit gives one zip, whenever and wherever it is packed. The archive writer takes SOURCE_DATE_EPOCH;
# a zip stores local time, hence the fixed time zone.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git -C "${CPACK_FINDRAIL_SOURCE_DIR}" log -1 --format=%ct
        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(failed OR NOT epoch MATCHES "^[0-9]+$")
        # Without git: 1980-01-01 00:00:00 UTC, the earliest time a zip can hold.
        set(epoch 315532800)
    endif()
    set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
set(ENV{TZ} UTC)
