# Warnings live in one INTERFACE target that every project target links PRIVATE.
add_library(kor_warnings INTERFACE)
if(MSVC)
    target_compile_options(kor_warnings INTERFACE /W4 $<$<BOOL:${KORLOADER_WERROR}>:/WX>)
else()
    target_compile_options(kor_warnings INTERFACE
        -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion
        $<$<BOOL:${KORLOADER_WERROR}>:-Werror>)
endif()

# Exact float arithmetic: a multiply and an add must each round to float.
add_library(kor_exact_float INTERFACE)
if(NOT MSVC)
    target_compile_options(kor_exact_float INTERFACE -ffp-contract=off)
endif()
