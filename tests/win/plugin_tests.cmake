add_library(findrail_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/test_support.cpp)
target_include_directories(findrail_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR})
target_link_libraries(findrail_test_support PUBLIC shell32)

# version.dll reads the version resources; only the test links it, never the plug-in.
findrail_add_wine_test(plugin_exports_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/plugin_exports_test.cpp
    LIBS findrail_test_support standin_host version)
findrail_add_wine_test(plugin_events_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/plugin_events_test.cpp
    LIBS findrail_test_support standin_host)

# The shared GCC runtime that a host or another plug-in built with MinGW's defaults brings into the process;
# the 32-bit fault sweeps load it before the plug-in. It needs winpthreads in some builds: both are copied.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    foreach(runtime libgcc_s_dw2-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
            OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT EXISTS "${runtime_path}")
            message(FATAL_ERROR "${runtime} not found beside ${CMAKE_CXX_COMPILER}")
        endif()
        file(COPY ${runtime_path} DESTINATION ${CMAKE_BINARY_DIR}/bin)
    endforeach()
endif()

# The DLL's exports, imports and resources from its headers; in the 32-bit tier that is the file that ships.
find_program(FINDRAIL_OBJDUMP ${TOOLCHAIN_PREFIX}-objdump REQUIRED)
add_test(NAME dll_static_check
    COMMAND sh ${PROJECT_SOURCE_DIR}/tests/check_dll.sh ${FINDRAIL_OBJDUMP} $<TARGET_FILE:FindRail>)
set_tests_properties(dll_static_check PROPERTIES TIMEOUT 60 LABELS ${FINDRAIL_TIER})

# The stand-in host loads this build's FindRail.dll itself, byte for byte: in the 32-bit tier, the file that ships.
if(FINDRAIL_WINE_TESTS)
    add_test(NAME loaded_dll_is_the_built_file
        COMMAND ${CMAKE_COMMAND} -E env ${WINE_ENV}
                sh ${PROJECT_SOURCE_DIR}/tests/check_loaded_dll.sh ${FINDRAIL_WINE} $<TARGET_FILE:StandInHost>
                $<TARGET_FILE:FindRail>)
    set_tests_properties(loaded_dll_is_the_built_file PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 60
        LABELS ${FINDRAIL_TIER})
endif()

# Module start's and PluginProc 2308's speed, run by scripts/bench.sh; not a test.
add_executable(plugin_benchmark ${CMAKE_CURRENT_LIST_DIR}/plugin_benchmark.cpp)
target_link_libraries(plugin_benchmark PRIVATE standin_host)
target_link_options(plugin_benchmark PRIVATE -municode)
add_dependencies(plugin_benchmark FindRail)
