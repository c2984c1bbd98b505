# Every dependency of the build, found once; targets only link what is found here.
include(FeatureSummary)

find_package(Qt5 5.15 REQUIRED COMPONENTS Core Gui PrintSupport Widgets DBus)
set_package_properties(Qt5 PROPERTIES TYPE REQUIRED PURPOSE "Engine, window, text typesetting")

find_package(PkgConfig REQUIRED)
# pdftopng renders with poppler's C++ interface, which loads no Qt.
pkg_check_modules(POPPLER_CPP REQUIRED IMPORTED_TARGET poppler-cpp)

find_package(PNG REQUIRED)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

option(MIRAVEL_OFFICE "Office documents through LibreOffice (needs its SDK)" ON)
if(MIRAVEL_OFFICE)
    find_package(LibreOfficeSDK)
    set_package_properties(LibreOfficeSDK PROPERTIES
        TYPE RECOMMENDED
        DESCRIPTION "LibreOffice's UNO SDK (Debian: libreoffice-dev)"
        PURPOSE "Word document, spreadsheet and presentation thumbnails")
endif()

if(BUILD_TESTING)
    find_package(Qt5 5.15 REQUIRED COMPONENTS Test)
    # Reference renderings and the text of PDFs in tests.
    pkg_check_modules(POPPLER_QT5 REQUIRED IMPORTED_TARGET poppler-qt5)
    # The test run checks the layout of every C++ source.
    find_program(CLANG_FORMAT clang-format REQUIRED)
endif()
