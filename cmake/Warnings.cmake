# One warning level for every target; CI adds -Werror.
add_library(vandor_warnings INTERFACE)
target_compile_options(vandor_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(VANDOR_WERROR)
    target_compile_options(vandor_warnings INTERFACE -Werror)
endif()
if(VANDOR_SANITIZE)
    target_compile_options(vandor_warnings INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(vandor_warnings INTERFACE -fsanitize=address,undefined)
endif()
