# Fails when a thread_local holds anything but a pointer: MinGW's runtime
# frees a thread's storage before it runs thread_local destructors, so a
# string or vector there crashes a worker as it exits (Windows build only).
file(GLOB_RECURSE sources ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/common/*.cpp ${SOURCE_DIR}/output/*.cpp
     ${SOURCE_DIR}/formats/*.cpp ${SOURCE_DIR}/platform/*.cpp)
foreach(source ${sources})
  file(STRINGS ${source} lines REGEX "thread_local")
  foreach(line ${lines})
    if(NOT line MATCHES "^[ \t]*//" AND NOT line MATCHES "thread_local[^=;(]*\\*")
      message(SEND_ERROR "${source}: a thread_local that is not a pointer: ${line}")
    endif()
  endforeach()
endforeach()
