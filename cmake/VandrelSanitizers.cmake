# Applies the sanitizer chosen by VANDREL_SANITIZER to every target of the build.
if(VANDREL_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VANDREL_SANITIZER STREQUAL "thread")
  # ThreadSanitizer warns at every standalone fence in Asio's headers; the
  # warning is about what it cannot model there, not about our code.
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -Wno-tsan)
  add_link_options(-fsanitize=thread)
  # Programs link it to set aside reports from uninstrumented libraries. It is
  # compiled into each program itself: the sanitizer runtime defines a weak
  # default, so a member of a static archive defining it would never be pulled in.
  add_library(tsan_suppressions INTERFACE)
  target_sources(tsan_suppressions INTERFACE "${CMAKE_CURRENT_LIST_DIR}/tsan_suppressions.cpp")
elseif(NOT VANDREL_SANITIZER STREQUAL "")
  message(FATAL_ERROR "VANDREL_SANITIZER must be empty, 'address' or 'thread', not '${VANDREL_SANITIZER}'")
endif()
