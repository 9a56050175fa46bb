# Delay-loaded system DLLs for the Windows builds.
#
# A DLL in the program's import table is loaded before the first line of the program runs, and
# for a DLL that is not one of the system's known DLLs the program's own folder is searched
# first: a file planted there would run as the user. So the program imports only kernel32 and
# the C runtime directly; everything else is bound on first use, after wWinMain has limited the
# DLL search to the system folder (src/win32/dll_search.cpp).
#
# GNU ld has no delay-load switch: dlltool makes an import library whose thunks go through
# __delayLoadHelper2 (MinGW's libmingwex). Its export list is taken from the toolchain's own
# import library, so the delayed library offers exactly the functions the ordinary one does.
#
#   kesk_delay_import_libs(<out variable> <dll> ...)
# sets <out variable> to the delayed import libraries of the named DLLs (e.g. user32).

function(kesk_delay_import_libs out_var)
  if(NOT CMAKE_DLLTOOL OR NOT CMAKE_NM)
    message(FATAL_ERROR "dlltool and nm of the MinGW toolchain are needed for delayed imports")
  endif()
  set(dir ${CMAKE_BINARY_DIR}/delay-imports)
  file(MAKE_DIRECTORY ${dir})
  set(libs)
  foreach(dll ${ARGN})
    find_library(KESK_IMPLIB_${dll} NAMES lib${dll}.a ${dll} REQUIRED NO_CACHE)
    set(implib ${KESK_IMPLIB_${dll}})
    set(def ${dir}/${dll}.def)
    set(lib ${dir}/lib${dll}_delay.a)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${implib})

    execute_process(COMMAND ${CMAKE_NM} ${implib} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${CMAKE_NM} could not read ${implib}")
    endif()
    # Every function has an import pointer (__imp_) and a code thunk of the same name; a
    # data export has only the pointer and cannot be delayed, so it is left out.
    string(REGEX MATCHALL "[0-9a-fA-F]+ T [^\n]+" thunks "${symbols}")
    set(exports)
    foreach(entry ${thunks})
      string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" name "${entry}")
      if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        # 32-bit C symbols carry a leading underscore that the export name does not.
        string(REGEX REPLACE "^_" "" name "${name}")
      endif()
      if(name MATCHES "^[A-Za-z_][A-Za-z0-9_@?$]*$")
        list(APPEND exports "${name}")
      endif()
    endforeach()
    list(REMOVE_DUPLICATES exports)
    if(NOT exports)
      message(FATAL_ERROR "no functions found in ${implib}")
    endif()
    list(JOIN exports "\n" body)
    file(WRITE ${def}.new "LIBRARY \"${dll}.dll\"\nEXPORTS\n${body}\n")
    file(COPY_FILE ${def}.new ${def} ONLY_IF_DIFFERENT)
    file(REMOVE ${def}.new)

    if(NOT EXISTS ${lib} OR ${def} IS_NEWER_THAN ${lib})
      # --kill-at: the 32-bit stdcall names are imported without their "@n".
      execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --dllname ${dll}.dll
                              --output-delaylib lib${dll}_delay.a --kill-at
                      WORKING_DIRECTORY ${dir} RESULT_VARIABLE rc ERROR_VARIABLE err)
      if(NOT rc EQUAL 0)
        file(REMOVE ${lib})
        message(FATAL_ERROR "${CMAKE_DLLTOOL} could not make ${lib}: ${err}")
      endif()
    endif()
    list(APPEND libs ${lib})
  endforeach()
  set(${out_var} ${libs} PARENT_SCOPE)
endfunction()
