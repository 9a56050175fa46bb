# Copies the shipped resources beside the exe, never over a catalogue the user already has there.
foreach(item notFound.ico skin)
  if(EXISTS ${SRC}/${item})
    file(COPY ${SRC}/${item} DESTINATION ${DST})
  endif()
endforeach()
if(NOT EXISTS ${DST}/velora.ini AND EXISTS ${SRC}/velora.ini)
  file(COPY ${SRC}/velora.ini DESTINATION ${DST})
endif()
