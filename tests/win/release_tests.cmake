# The release: two builds of one commit, in two clones at different paths and times, give the same DLL and the
# same zip. It builds the i686 tree twice (about a minute on two cores), so it runs alone, in the 32-bit tier.
if(FINDRAIL_TIER STREQUAL "win32")
    add_test(NAME release_reproducible COMMAND bash ${PROJECT_SOURCE_DIR}/tests/reproducible_build.sh)
    set_tests_properties(release_reproducible PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE SKIP_RETURN_CODE 77
        LABELS win32)
endif()
