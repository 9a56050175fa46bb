# Read by cpack once per generator: the ZIP unpacks into one folder of its own, the installer
# is named as what it is.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()

# Stripping stamps the exe with the time of the strip; one time for the whole cpack run makes the
# ZIP and the installer carry the same program, byte for byte.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  string(TIMESTAMP kesk_now "%s" UTC)
  set(ENV{SOURCE_DATE_EPOCH} "${kesk_now}")
endif()
