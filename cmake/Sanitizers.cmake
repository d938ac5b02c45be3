# Sanitizer builds apply to every target, including the shared libraries.
if(PELLUMO_ASAN AND PELLUMO_TSAN)
  message(FATAL_ERROR "PELLUMO_ASAN and PELLUMO_TSAN cannot be combined")
endif()

if(PELLUMO_ASAN)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(PELLUMO_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Fuzzing builds instrument every library for coverage and memory errors;
# the fuzz targets themselves add the libFuzzer driver.
if(PELLUMO_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
