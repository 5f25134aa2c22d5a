# Installs the program with its menu entry and software-centre metadata, and lets CPack wrap them
# in a Debian package (cpack -G DEB, or the "package" target).
include(GNUInstallDirs)

set(VELTRANE_APP_ID org.veltrane.Veltraner)
# The menu entry's id is the name the window gives itself: the toolkit announces the program's file
# name as its app_id on Wayland and as its WM_CLASS on X11, as nothing at start-up names it otherwise.
set(VELTRANE_DESKTOP_ID veltrane)
# A release names where the project lives and who answers for the package (scripts/release takes
# them from the environment); a local build names no web address rather than a made-up one, and a
# maintainer that says it is a local build.
set(VELTRANE_HOMEPAGE "$ENV{VELTRANE_HOMEPAGE}" CACHE STRING "Web address of the project's home page")
# Software centres show a screenshot from a web address, which only a release knows: one that it
# publishes.
set(VELTRANE_SCREENSHOT_URL "$ENV{VELTRANE_SCREENSHOT_URL}" CACHE STRING "Web address of the window's screenshot")
set(VELTRANE_MAINTAINER "$ENV{VELTRANE_MAINTAINER}" CACHE STRING "Name <address> of the package's maintainer")
if(NOT VELTRANE_MAINTAINER)
    set(VELTRANE_MAINTAINER "Veltraner local build <local-build@veltrane.invalid>")
endif()
# A release's package version carries the Debian release it is built for, e.g. "+deb12", so that
# the packages for two releases never share one version.
set(VELTRANE_DEBIAN_SUFFIX "" CACHE STRING "Appended to the package version")
set(VELTRANE_METAINFO_URLS "")
if(VELTRANE_HOMEPAGE)
    string(REGEX REPLACE "([^/])/*$" "\\1/" homepage "${VELTRANE_HOMEPAGE}")
    set(VELTRANE_METAINFO_URLS "<url type=\"homepage\">${homepage}</url>")
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${homepage})
endif()
if(VELTRANE_SCREENSHOT_URL)
    string(CONCAT VELTRANE_METAINFO_URLS "${VELTRANE_METAINFO_URLS}\n  <screenshots>\n"
        "    <screenshot type=\"default\">\n"
        "      <caption>Chinese and English text as GBK bytes</caption>\n"
        "      <image>${VELTRANE_SCREENSHOT_URL}</image>\n    </screenshot>\n  </screenshots>")
endif()

# AppStream 1.0 names the developer in a <developer> element, which validators before 1.0 reject;
# 1.0 in turn flags the older <developer_name>. The metadata takes the form that the AppStream of
# the machine it is built on reads, and the newer one where there is none to ask.
set(VELTRANE_METAINFO_DEVELOPER
    "<developer id=\"org.veltrane\">\n    <name>The Veltraner developers</name>\n  </developer>")
find_program(VELTRANE_APPSTREAMCLI appstreamcli)
if(VELTRANE_APPSTREAMCLI)
    execute_process(COMMAND ${VELTRANE_APPSTREAMCLI} --version OUTPUT_VARIABLE appstream_version
                    ERROR_QUIET)
    string(REGEX MATCH "[0-9]+\\.[0-9]+(\\.[0-9]+)?" appstream_version "${appstream_version}")
    if(appstream_version AND appstream_version VERSION_LESS 1.0)
        set(VELTRANE_METAINFO_DEVELOPER "<developer_name>The Veltraner developers</developer_name>")
    endif()
endif()

install(TARGETS veltrane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/${VELTRANE_DESKTOP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${VELTRANE_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(data/${VELTRANE_APP_ID}.metainfo.xml.in ${VELTRANE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${VELTRANE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# Debian looks for the licence of a package under this name.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

# The manual page and the changelog go in compressed, as Debian keeps them. Both are written when
# the tree is configured, and so compressed then. No name or time stamp in the gzip header, so that
# two builds of the same sources give the same bytes. NAME is in the build tree.
function(veltrane_install_gzipped name destination)
    execute_process(COMMAND gzip -9 -n -c ${name} OUTPUT_FILE ${name}.gz
                    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz DESTINATION ${destination})
endfunction()
configure_file(data/veltrane.1.in veltrane.1 @ONLY)
veltrane_install_gzipped(veltrane.1 ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT "${VELTRANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION}${VELTRANE_DEBIAN_SUFFIX})
veltrane_write_changelog(${CMAKE_CURRENT_BINARY_DIR}/changelog "${CPACK_PACKAGE_CONTACT}"
                         "${VELTRANE_DEBIAN_SUFFIX}")
veltrane_install_gzipped(changelog ${CMAKE_INSTALL_DOCDIR})
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Veltraner shows how a piece of text is stored as bytes in a chosen character\n"
    "encoding - GBK, UTF-16, ISO-2022-JP, Big5, UTF-8, Shift-JIS, EUC-JP or EUC-KR -\n"
    "written as hex digits, and turns hex digits back into text. A warning says\n"
    "when the encoding cannot carry the text.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Depends is computed from the libraries the program links (dpkg-shlibdeps, from dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A cross build's packages are for its architecture; dpkg gives this machine's otherwise.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VELTRANE_DEBIAN_ARCH})
# The toolkit's Wayland plugin, so that the window runs natively on a Wayland desktop.
if(QT_VERSION_MAJOR EQUAL 6)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
else()
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qtwayland5)
endif()

include(CPack)
