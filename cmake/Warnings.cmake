# One warning level for every target; CI adds -Werror.
add_library(vandor_warnings INTERFACE)
target_compile_options(vandor_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(VANDOR_WERROR)
    target_compile_options(vandor_warnings INTERFACE -Werror)
endif()
