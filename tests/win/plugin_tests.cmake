add_library(findrail_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/test_support.cpp)
target_include_directories(findrail_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR})
target_link_libraries(findrail_test_support PUBLIC shell32)

# version.dll reads the version resources; only the test links it, never the plug-in.
findrail_add_wine_test(plugin_exports_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/plugin_exports_test.cpp
    LIBS findrail_test_support standin_host version)
if(FINDRAIL_I686_DLL)
    target_compile_definitions(plugin_exports_test PRIVATE "FINDRAIL_I686_DLL_PATH=L\"${FINDRAIL_I686_DLL}\"")
endif()
findrail_add_wine_test(plugin_events_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/plugin_events_test.cpp
    LIBS findrail_test_support standin_host)

# The shipping 32-bit DLL cannot run here; its exports and imports are checked from its headers.
if(FINDRAIL_I686_DLL)
    find_program(I686_OBJDUMP i686-w64-mingw32-objdump REQUIRED)
    add_test(NAME i686_dll_static_check
        COMMAND sh ${PROJECT_SOURCE_DIR}/tests/check_dll.sh ${I686_OBJDUMP} ${FINDRAIL_I686_DLL})
    set_tests_properties(i686_dll_static_check PROPERTIES TIMEOUT 60)
endif()
