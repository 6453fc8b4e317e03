# Settings store under Wine: file encodings, the INI document and its text, file locations, and the
# round trip through the real DLL in the stand-in host.
set(FINDRAIL_SETTINGS_DATA "Z:${PROJECT_SOURCE_DIR}/tests/data/settings")

findrail_add_wine_test(settings_text_file_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_text_file_test.cpp
    LIBS findrail_settings findrail_test_support)
findrail_add_wine_test(settings_document_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_document_test.cpp
    LIBS findrail_settings findrail_test_support)
target_compile_definitions(settings_text_file_test PRIVATE FINDRAIL_SETTINGS_DATA=L"${FINDRAIL_SETTINGS_DATA}")
target_compile_definitions(settings_document_test PRIVATE FINDRAIL_SETTINGS_DATA=L"${FINDRAIL_SETTINGS_DATA}")

# Reports where the settings files of a program in its folder would be; copied around by the paths test.
add_executable(settings_paths_probe ${CMAKE_CURRENT_LIST_DIR}/settings_paths_probe.cpp)
target_link_libraries(settings_paths_probe PRIVATE findrail_settings)
target_link_options(settings_paths_probe PRIVATE -municode)
findrail_add_wine_test(settings_paths_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_paths_test.cpp
    LIBS findrail_settings findrail_test_support)
add_dependencies(settings_paths_test settings_paths_probe)

findrail_add_wine_test(settings_end_to_end_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_end_to_end_test.cpp
    LIBS findrail_test_support standin_host)
target_compile_definitions(settings_end_to_end_test PRIVATE FINDRAIL_SETTINGS_DATA=L"${FINDRAIL_SETTINGS_DATA}")
