# view.cmake -- tm_view: the scene, the camera and the frame on fixed-function OpenGL,
# and the snapshot and printing, which ask for their file through the ui's file dialogs.
find_package(OpenGL REQUIRED)
add_library(tm_view STATIC ${CMAKE_CURRENT_LIST_DIR}/scene.cpp ${CMAKE_CURRENT_LIST_DIR}/camera.cpp
                    ${CMAKE_CURRENT_LIST_DIR}/picking.cpp ${CMAKE_CURRENT_LIST_DIR}/snapshot.cpp
                    ${CMAKE_CURRENT_LIST_DIR}/overlay.cpp)
target_include_directories(tm_view PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tm_view PUBLIC tm_data tm_image tm_platform_core tm_file_dialogs OpenGL::GL)
