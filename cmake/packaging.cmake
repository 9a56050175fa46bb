# Packages of the Windows builds: a portable ZIP and a per-user installer (NSIS).
#
#   cmake --build <build dir> && cpack --config <build dir>/CPackConfig.cmake -B <build dir>/packages
#
# Both hold the same folder: KeskVLM.exe with its fallback icon, the default skin, the sample
# catalogue, README.txt and LICENSE.txt. The program keeps its catalogue beside itself, so the
# ZIP is complete as unpacked and the installer puts it where the user can write.
if(NOT WIN32)
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KESK_PACKAGE_ARCH win64)
  set(KESK_NSIS_TARGET amd64-unicode)
else()
  set(KESK_PACKAGE_ARCH win32)
  set(KESK_NSIS_TARGET x86-unicode)
endif()

install(TARGETS KeskVLM RUNTIME DESTINATION . COMPONENT program)
install(FILES ${CMAKE_SOURCE_DIR}/resources/notFound.ico ${CMAKE_SOURCE_DIR}/resources/velora.ini
        DESTINATION . COMPONENT program)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/skin DESTINATION . COMPONENT program)
configure_file(${CMAKE_SOURCE_DIR}/packaging/README.txt ${CMAKE_BINARY_DIR}/packaging/README.txt
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
               COPYONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
        DESTINATION . COMPONENT program)

# The debug information of RelWithDebInfo stays in the build tree; users get a stripped exe.
set(CPACK_STRIP_FILES ON)

set(CPACK_PACKAGE_NAME KeskVLM)
set(CPACK_PACKAGE_VENDOR "KeskVLM developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY KeskVLM)
set(CPACK_PACKAGE_FILE_NAME KeskVLM-${PROJECT_VERSION}-${KESK_PACKAGE_ARCH})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_SOURCE_GENERATOR "")

# The installer is made only where makensis is installed (scripts/deps.sh installs it).
find_program(KESK_MAKENSIS makensis)
if(KESK_MAKENSIS)
  set(CPACK_GENERATOR ZIP NSIS)
  set(CPACK_NSIS_EXECUTABLE ${KESK_MAKENSIS})
else()
  message(STATUS "makensis not found: packages are ZIP only")
  set(CPACK_GENERATOR ZIP)
endif()

# Our own installer script: per-user, keeps the catalogue and skin on upgrade and uninstall.
set(CPACK_MODULE_PATH ${CMAKE_SOURCE_DIR}/packaging)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/packaging/project-config.cmake)
set(CPACK_KESK_NSIS_TARGET ${KESK_NSIS_TARGET})
set(CPACK_KESK_ICON ${CMAKE_SOURCE_DIR}/resources/KeskVLM.ico)

include(CPack)
