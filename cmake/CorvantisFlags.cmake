# One INTERFACE target carries the warnings and the sanitizer flags for every component.
add_library(corvantis_flags INTERFACE)
target_compile_options(corvantis_flags INTERFACE -Wall -Wextra)
target_compile_features(corvantis_flags INTERFACE cxx_std_20)

if(CORVANTIS_SANITIZE)
  set(_corvantis_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_compile_options(corvantis_flags INTERFACE ${_corvantis_san})
  target_link_options(corvantis_flags INTERFACE ${_corvantis_san})
endif()
