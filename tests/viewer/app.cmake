# The windowed viewer driven in this process on the offscreen platform.
pl_add_gui_gtest(viewer_app_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/viewer_driver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/render_view_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/data_commands_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_persistence_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/image_export_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/navigation_test.cpp
  LIBS pl_viewer_app Qt6::Test
)
target_compile_definitions(viewer_app_tests PRIVATE PL_SAMPLE_PATH="${PROJECT_SOURCE_DIR}/data/sample.bin")
