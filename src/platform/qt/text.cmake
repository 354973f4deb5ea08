# text.cmake -- tm_platform_text, text as a picture: QtGui only, so that programs without
# widgets or an X server can use it (tallyrender's legend). Included by src/ whenever Qt's
# Gui module is there, with or without the viewer: the sanitizer pass builds no viewer
# but runs tallyrender.
add_library(tm_platform_text STATIC ${CMAKE_CURRENT_LIST_DIR}/text_image.cpp)
target_link_libraries(tm_platform_text PUBLIC tm_platform_core Qt6::Gui)
