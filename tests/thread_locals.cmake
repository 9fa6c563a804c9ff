# Fails when a thread_local holds anything but a pointer (MinGW's runtime
# frees a thread's storage before it runs thread_local destructors, so a
# string or vector there crashes a worker as it exits), and when there are
# more than two: what a conversion needs is handed down, but for where a
# converter's signature cannot carry it (the report sink, the conversion).
file(GLOB_RECURSE sources ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/common/*.cpp ${SOURCE_DIR}/pictures/*.cpp
     ${SOURCE_DIR}/store/*.cpp ${SOURCE_DIR}/back/*.cpp ${SOURCE_DIR}/formats/*.cpp ${SOURCE_DIR}/platform/*.cpp)
set(count 0)
foreach(source ${sources})
  file(STRINGS ${source} lines REGEX "thread_local")
  foreach(line ${lines})
    if(line MATCHES "^[ \t]*//")
      continue()
    endif()
    math(EXPR count "${count} + 1")
    if(NOT line MATCHES "thread_local[^=;(]*\\*")
      message(SEND_ERROR "${source}: a thread_local that is not a pointer: ${line}")
    endif()
  endforeach()
endforeach()
if(count GREATER 2)
  message(SEND_ERROR "${count} thread_locals: at most two (the report sink and the conversion)")
endif()
