# Installation: the program and its diagnostic tool, the help page, the
# desktop entry, the AppStream metainfo and the icon, in the usual places
# under the prefix. Included from the top CMakeLists.txt once every target
# exists.
include(GNUInstallDirs)

# One reverse-DNS name for the desktop entry, the metainfo and the icon.
set(ZORVANE_APP_ID "com.pellridge.Zorvane")
set(ZORVANE_DATA_SUBDIR "${CMAKE_INSTALL_DATADIR}/zorvane")

# The program finds its read-only files (help page, brand file) beside itself
# or in the data folder, which it reaches from its own folder so that the
# installation works under any prefix.
file(RELATIVE_PATH ZORVANE_DATA_FROM_PROGRAM
    "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_DATADIR}/zorvane")
set_property(SOURCE "${PROJECT_SOURCE_DIR}/src/base/ProgramFolder.cpp"
    TARGET_DIRECTORY zorvane_core APPEND PROPERTY
    COMPILE_DEFINITIONS "ZORVANE_DATA_FROM_PROGRAM=\"${ZORVANE_DATA_FROM_PROGRAM}\"")

install(TARGETS zorvane zorvane-inspect RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

# Help > Contents opens this page. No brand file is installed: without one the
# built-in brand values apply; a packager may add AppData beside help.html.
install(FILES "${PROJECT_SOURCE_DIR}/data/help.html" DESTINATION "${ZORVANE_DATA_SUBDIR}")

# The program without a window as a systemd user service (see the README),
# where systemd looks for the user units of /usr and /usr/local.
# Written at install time, so that it names the program where this
# installation puts it, whatever prefix the install is given.
install(CODE "
    file(READ \"${PROJECT_SOURCE_DIR}/data/zorvane.service.in\" unit)
    string(REPLACE \"@PROGRAM@\" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/zorvane\" unit \"\${unit}\")
    set(target \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/user/zorvane.service\")
    message(STATUS \"Installing: \${target}\")
    file(WRITE \"\${target}\" \"\${unit}\")
")

install(FILES "${PROJECT_SOURCE_DIR}/data/${ZORVANE_APP_ID}.desktop"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")

# The release date honours SOURCE_DATE_EPOCH, for reproducible packages.
string(TIMESTAMP ZORVANE_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file("${PROJECT_SOURCE_DIR}/data/${ZORVANE_APP_ID}.metainfo.xml.in"
    "${PROJECT_BINARY_DIR}/${ZORVANE_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/${ZORVANE_APP_ID}.metainfo.xml"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

# The full-size icon is the one compiled into the program; the smaller ones
# are scaled from it and kept in data/icons.
install(FILES "${PROJECT_SOURCE_DIR}/data/zorvane.png"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps"
    RENAME "${ZORVANE_APP_ID}.png")
foreach(size IN ITEMS 16 22 24 32 48 64 128)
    install(FILES "${PROJECT_SOURCE_DIR}/data/icons/${size}x${size}/zorvane.png"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
        RENAME "${ZORVANE_APP_ID}.png")
endforeach()
