# Applies the sanitizer chosen by VANDREL_SANITIZER to every target of the build.
if(VANDREL_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VANDREL_SANITIZER STREQUAL "thread")
  # ThreadSanitizer warns at every standalone fence in Asio's headers; the
  # warning is about what it cannot model there, not about our code.
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -Wno-tsan)
  add_link_options(-fsanitize=thread)
elseif(NOT VANDREL_SANITIZER STREQUAL "")
  message(FATAL_ERROR "VANDREL_SANITIZER must be empty, 'address' or 'thread', not '${VANDREL_SANITIZER}'")
endif()
