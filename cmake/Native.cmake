# Native build of the portable code and its tests, under AddressSanitizer and UBSan.
find_package(GTest REQUIRED)
include(GoogleTest)
set(KOVIRA_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(-Wall -Wextra ${KOVIRA_SANITIZE})
add_link_options(${KOVIRA_SANITIZE})
