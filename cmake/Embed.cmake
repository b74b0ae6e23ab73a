# skirmora_embed(<target> <symbol> <file>)
# Puts the bytes of <file> into <target> and declares
#   std::span<const unsigned char> embedded::<symbol>();
# in the generated header "embedded/<symbol>.h". The bytes are pulled in by the
# assembler (.incbin), so large files cost no compile time.
function(skirmora_embed target symbol file)
  get_filename_component(abs "${file}" ABSOLUTE)
  set(dir ${CMAKE_BINARY_DIR}/generated/embedded)
  file(MAKE_DIRECTORY ${dir})
  set(header ${dir}/${symbol}.h)
  set(source ${dir}/${symbol}.cpp)
  file(CONFIGURE OUTPUT ${header} CONTENT
"#pragma once
#include <span>
namespace embedded {
std::span<const unsigned char> ${symbol}();
}
")
  file(CONFIGURE OUTPUT ${source} CONTENT
"#include \"embedded/${symbol}.h\"
#include <cstddef>
asm(\".section .rodata\\n\"
    \".balign 16\\n\"
    \".globl skr_embed_${symbol}_begin\\n\"
    \".hidden skr_embed_${symbol}_begin\\n\"
    \".globl skr_embed_${symbol}_end\\n\"
    \".hidden skr_embed_${symbol}_end\\n\"
    \"skr_embed_${symbol}_begin:\\n\"
    \".incbin \\\"${abs}\\\"\\n\"
    \"skr_embed_${symbol}_end:\\n\"
    \".byte 0\\n\"
    \".previous\\n\");
extern \"C\" const unsigned char skr_embed_${symbol}_begin[];
extern \"C\" const unsigned char skr_embed_${symbol}_end[];
namespace embedded {
std::span<const unsigned char> ${symbol}() {
  return {skr_embed_${symbol}_begin, static_cast<std::size_t>(skr_embed_${symbol}_end - skr_embed_${symbol}_begin)};
}
}
")
  set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS ${abs})
  target_sources(${target} PRIVATE ${source})
  target_include_directories(${target} PUBLIC ${CMAKE_BINARY_DIR}/generated)
endfunction()
