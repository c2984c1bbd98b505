# Finds the LibreOffice SDK (Debian: libreoffice-dev) of the installed office.
#
#   LibreOfficeSDK_ROOT       office installation folder (default /usr/lib/libreoffice)
#
# Defines LibreOfficeSDK_FOUND, LibreOfficeSDK_PROGRAM_DIR (the office's program folder),
# LibreOfficeSDK_CPPUMAKER, LibreOfficeSDK_TYPES_RDB and LibreOfficeSDK_OFFAPI_RDB (to
# generate the C++ headers of UNO types), and the imported target LibreOfficeSDK::UNO
# (headers, UNO runtime libraries, compile definitions, run path to the program folder).

set(LibreOfficeSDK_ROOT /usr/lib/libreoffice CACHE PATH "LibreOffice installation folder")

find_program(LibreOfficeSDK_CPPUMAKER cppumaker
    PATHS ${LibreOfficeSDK_ROOT}/sdk/bin NO_DEFAULT_PATH)
find_path(LibreOfficeSDK_INCLUDE_DIR cppuhelper/bootstrap.hxx
    PATHS /usr/include/libreoffice ${LibreOfficeSDK_ROOT}/sdk/include NO_DEFAULT_PATH)
find_file(LibreOfficeSDK_TYPES_RDB types.rdb
    PATHS ${LibreOfficeSDK_ROOT}/program NO_DEFAULT_PATH)
find_file(LibreOfficeSDK_OFFAPI_RDB offapi.rdb
    PATHS ${LibreOfficeSDK_ROOT}/program/types NO_DEFAULT_PATH)
set(_lo_libraries)
foreach(_lib uno_cppu uno_cppuhelpergcc3 uno_sal)
    find_library(LibreOfficeSDK_${_lib}_LIBRARY ${_lib}
        PATHS ${LibreOfficeSDK_ROOT}/sdk/lib NO_DEFAULT_PATH)
    list(APPEND _lo_libraries LibreOfficeSDK_${_lib}_LIBRARY)
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(LibreOfficeSDK
    REQUIRED_VARS LibreOfficeSDK_CPPUMAKER LibreOfficeSDK_INCLUDE_DIR LibreOfficeSDK_TYPES_RDB
                  LibreOfficeSDK_OFFAPI_RDB ${_lo_libraries})

if(LibreOfficeSDK_FOUND AND NOT TARGET LibreOfficeSDK::UNO)
    set(LibreOfficeSDK_PROGRAM_DIR ${LibreOfficeSDK_ROOT}/program)
    add_library(LibreOfficeSDK::UNO INTERFACE IMPORTED)
    target_include_directories(LibreOfficeSDK::UNO SYSTEM INTERFACE ${LibreOfficeSDK_INCLUDE_DIR})
    target_compile_definitions(LibreOfficeSDK::UNO INTERFACE LINUX UNX CPPU_ENV=gcc3)
    target_link_libraries(LibreOfficeSDK::UNO INTERFACE
        ${LibreOfficeSDK_uno_cppu_LIBRARY} ${LibreOfficeSDK_uno_cppuhelpergcc3_LIBRARY}
        ${LibreOfficeSDK_uno_sal_LIBRARY})
    # The UNO runtime libraries are loaded from the office's program folder.
    target_link_options(LibreOfficeSDK::UNO INTERFACE "LINKER:-rpath,${LibreOfficeSDK_PROGRAM_DIR}")
endif()
mark_as_advanced(LibreOfficeSDK_CPPUMAKER LibreOfficeSDK_INCLUDE_DIR LibreOfficeSDK_TYPES_RDB
                 LibreOfficeSDK_OFFAPI_RDB ${_lo_libraries})
unset(_lo_libraries)
