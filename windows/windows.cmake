# The program as a Windows program, built with MinGW-w64 (windows/mingw-w64-x86_64.cmake): GUI
# subsystem, entered through Qt's WinMain adapter, carrying exactly one resource, its manifest.
# Hardened as Windows programs are: addresses randomised across the whole 64-bit space, data not
# executable, stack protector. No time stamp in the file, so that the same sources give the same
# bytes.
set_target_properties(veltrane PROPERTIES WIN32_EXECUTABLE ON)
target_sources(veltrane PRIVATE ${CMAKE_CURRENT_LIST_DIR}/veltrane.rc)
# Qt 5 links its adapter by itself only to programs that name QtCore directly. The C runtime's own
# main calls WinMain, which must come after it on the link line, and the adapter calls the
# program's main under the name qMain, which Qt's headers give it.
if(TARGET Qt5::WinMain)
    target_link_libraries(veltrane PRIVATE mingw32 Qt5::WinMain)
    target_compile_definitions(veltrane PRIVATE QT_NEEDS_QMAIN)
endif()
# The protector's runtime comes with the link option, which whatever links the libraries needs.
set_property(TARGET veltrane veltrane_window veltrane_conversion APPEND PROPERTY COMPILE_OPTIONS
    -fstack-protector-strong)
target_link_options(veltrane_conversion INTERFACE -fstack-protector-strong)
target_link_options(veltrane PRIVATE -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat
    -Wl,--no-insert-timestamp)

# The folder that becomes the zip; windows/stage.sh adds the Qt and compiler runtime it needs.
install(TARGETS veltrane RUNTIME DESTINATION .)
install(FILES LICENSE DESTINATION .)
