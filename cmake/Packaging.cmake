# Debian packages: `cpack -G DEB` in the build folder makes "kestrix" (the program, its schema, desktop entry,
# AppStream description, icon, translations and user guide) and, in a build with KESTRIX_INSTALL_SIMULATORS,
# "kestrix-simulators" (the device simulators, the stand-in reader library in its private folder and the
# launcher that uses it).
set(CPACK_PACKAGE_NAME kestrix)
set(CPACK_PACKAGE_VENDOR "Kestrix developers")
set(CPACK_PACKAGE_CONTACT "Kestrix developers <kestrix@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Program standalone door-access controllers")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrix keeps the key lists of standalone door-access controllers on the computer, lets people edit, "
    "search, compare and exchange them, and moves them into and out of controllers through a serial or TCP "
    "programming adapter, DS1996L memory keys and sets of Mifare Classic cards.")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program)
if(KESTRIX_INSTALL_SIMULATORS)
    list(APPEND CPACK_COMPONENTS_ALL simulators)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries' packages come from dpkg-shlibdeps. The reader library is the reader maker's own and has no
# Debian package: the build folder's stand-in is named as private so that it adds no dependency.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME kestrix)
# The schema compiler runs from libglib2.0-0's trigger; gsettings-desktop-schemas gives the toolkit its keys.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "libglib2.0-bin, gsettings-desktop-schemas")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_SIMULATORS_PACKAGE_NAME kestrix-simulators)
set(CPACK_DEBIAN_SIMULATORS_PACKAGE_DEPENDS "kestrix (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_SIMULATORS_DESCRIPTION
    "Device simulators for Kestrix: an adapter with a controller and a DS1996L on a pseudo-terminal, Mifare and "
    "Temic readers with cards, and a stand-in reader library used only through the kestrix-simulated launcher.")
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
include(CPack)
