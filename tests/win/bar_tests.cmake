# Search bar: the window-support layer and the bar classes linked in directly, the dialog template read from the
# built DLL, and the bar end to end in the stand-in host. Test names carry the prefix "bar.".
findrail_add_wine_test(bar_window_support_test PREFIX bar.
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bar_window_support_test.cpp ${CMAKE_CURRENT_LIST_DIR}/bar_alloc_fault.cpp
    LIBS findrail_bar findrail_test_support)
findrail_add_wine_test(bar_tool_bar_test PREFIX bar.
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bar_tool_bar_test.cpp ${CMAKE_CURRENT_LIST_DIR}/bar_alloc_fault.cpp
    LIBS findrail_bar findrail_test_support standin_host)
findrail_add_wine_test(bar_template_test PREFIX bar.
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bar_template_test.cpp
    LIBS findrail_test_support)
findrail_add_wine_test(bar_search_test PREFIX bar.
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bar_search_test.cpp
    LIBS findrail_test_support standin_host)
findrail_add_wine_test(bar_settings_test PREFIX bar.
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bar_settings_test.cpp
    LIBS findrail_test_support standin_host)
# Their mallocs go through bar_alloc_fault.cpp, which can refuse one.
target_link_options(bar_window_support_test PRIVATE -Wl,--wrap=malloc)
target_link_options(bar_tool_bar_test PRIVATE -Wl,--wrap=malloc)
