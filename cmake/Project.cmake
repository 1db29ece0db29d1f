# Flags shared by every target of both builds.

# Source locations in fatal-stop entries read relative to the repository.
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra;-Werror;-fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=>")

if(WIN32)
  # The stub travels with every product: small, static, no exceptions or RTTI.
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffunction-sections;-fdata-sections>")
  add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections)
else()
  option(SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
  if(SANITIZE)
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-fsanitize=address,undefined;-fno-sanitize-recover=all;-fno-omit-frame-pointer>")
    add_link_options(-fsanitize=address,undefined)
  endif()
  # Fuzz builds (clang): coverage for libFuzzer in everything; the targets
  # themselves link the fuzzer's main.
  option(FUZZ "Build the libFuzzer targets" OFF)
  if(FUZZ)
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-fsanitize=fuzzer-no-link>")
  endif()
endif()

# Options for the code that goes into the shipping executable.
function(product_options target)
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions;-fno-rtti;-fno-asynchronous-unwind-tables>")
  # resources/resource.h holds the dialog and control IDs that the code shares
  # with the resource script.
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR})
  if(WIN32)
    # Optimised as one program: the stub is about a fifth smaller.
    set_property(TARGET ${target} PROPERTY INTERPROCEDURAL_OPTIMIZATION ON)
  endif()
endfunction()

# The Wine that runs this build's test programs and scenarios: the 64-bit one for the 64-bit
# build, which stands in where a machine cannot run 32-bit programs.
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(WINE_ENVIRONMENT "WINE=/usr/lib/wine/wine64;WINELOADER=/usr/lib/wine/wine64;WINEARCH=win64")
  else()
    set(WINE_ENVIRONMENT "WINE=wine;WINEARCH=win32")
  endif()
endif()
