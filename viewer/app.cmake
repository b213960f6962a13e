# The windowed viewer: its commands, event loop, rendering to the window, data and settings
# handling on top of the plain core and the window shell.
add_library(pl_viewer_app STATIC
  ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/render_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/data_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_persistence.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_export.cpp
  ${CMAKE_CURRENT_LIST_DIR}/navigation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/find_commands.cpp
  ${CMAKE_CURRENT_BINARY_DIR}/app_identity.cpp)
target_include_directories(pl_viewer_app PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(pl_viewer_app PUBLIC pl_viewer_core pl_shell)

add_executable(pixloupe2d ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(pixloupe2d PRIVATE pl_viewer_app)
install(TARGETS pixloupe2d RUNTIME DESTINATION bin)
target_include_directories(pixloupe2d PRIVATE ${PL_GENERATED_DIR})

# The desktop entry's name and the icon's pictures, built into the program.
set(pl_icon_pictures "")
foreach(size ${PL_ICON_SIZES})
  list(APPEND pl_icon_pictures ${PROJECT_SOURCE_DIR}/desktop/icons/pixloupe2d-${size}.png)
endforeach()
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/app_identity.cpp
  COMMAND ${CMAKE_COMMAND} -DAPP_ID=${PL_APP_ID} "-DICONS=${pl_icon_pictures}"
    -DOUTPUT=${CMAKE_CURRENT_BINARY_DIR}/app_identity.cpp -P ${CMAKE_CURRENT_LIST_DIR}/app_identity.cmake
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/app_identity.cmake ${pl_icon_pictures}
  VERBATIM)
