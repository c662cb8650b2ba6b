# Finds the LibreOffice SDK (Debian: libreoffice-dev) for the Calc helper.
# Sets LibreOfficeSDK_FOUND, LibreOfficeSDK_CPPUMAKER, LibreOfficeSDK_INCLUDE_DIR,
# LibreOfficeSDK_PROGRAM_DIR (the office's program folder with types.rdb and
# the UNO runtime), LibreOfficeSDK_TYPES (the type libraries for cppumaker),
# and the imported target LibreOffice::UNO.
find_program(LibreOfficeSDK_CPPUMAKER cppumaker
  HINTS /usr/lib/libreoffice/sdk/bin /opt/libreoffice/sdk/bin)
find_path(LibreOfficeSDK_INCLUDE_DIR cppuhelper/bootstrap.hxx
  HINTS /usr/include/libreoffice /usr/lib/libreoffice/sdk/include)
find_path(LibreOfficeSDK_PROGRAM_DIR types.rdb
  HINTS /usr/lib/libreoffice/program /opt/libreoffice/program)
find_library(LibreOfficeSDK_SAL uno_sal HINTS /usr/lib/libreoffice/sdk/lib)
find_library(LibreOfficeSDK_CPPU uno_cppu HINTS /usr/lib/libreoffice/sdk/lib)
find_library(LibreOfficeSDK_CPPUHELPER uno_cppuhelpergcc3 HINTS /usr/lib/libreoffice/sdk/lib)
set(LibreOfficeSDK_TYPES "")
if(LibreOfficeSDK_PROGRAM_DIR)
  set(LibreOfficeSDK_TYPES ${LibreOfficeSDK_PROGRAM_DIR}/types.rdb)
  if(EXISTS ${LibreOfficeSDK_PROGRAM_DIR}/types/offapi.rdb)
    list(APPEND LibreOfficeSDK_TYPES ${LibreOfficeSDK_PROGRAM_DIR}/types/offapi.rdb)
  endif()
endif()
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(LibreOfficeSDK REQUIRED_VARS
  LibreOfficeSDK_CPPUMAKER LibreOfficeSDK_INCLUDE_DIR LibreOfficeSDK_PROGRAM_DIR
  LibreOfficeSDK_SAL LibreOfficeSDK_CPPU LibreOfficeSDK_CPPUHELPER)
if(LibreOfficeSDK_FOUND AND NOT TARGET LibreOffice::UNO)
  add_library(LibreOffice::UNO INTERFACE IMPORTED)
  set_target_properties(LibreOffice::UNO PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${LibreOfficeSDK_INCLUDE_DIR}"
    INTERFACE_COMPILE_DEFINITIONS "UNX;GCC;LINUX;CPPU_ENV=gcc3"
    INTERFACE_LINK_LIBRARIES "${LibreOfficeSDK_CPPUHELPER};${LibreOfficeSDK_CPPU};${LibreOfficeSDK_SAL}")
endif()
