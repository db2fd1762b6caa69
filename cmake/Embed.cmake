# vorlix_embed(<target> SYMBOL <name> FILE <path>)
#
# Links the bytes of <path> into <target> as the read-only symbols
#   extern "C" const unsigned char <name>[];      (followed by one NUL byte)
#   extern "C" const std::uint64_t <name>_size;
# through an assembler `.incbin`, which both GCC and MinGW accept and which costs
# nothing at configure time even for megabytes of data. Declare them in C++ with
# VX_EMBEDDED from common/embedded.h. The object is rebuilt when <path> changes.
function(vorlix_embed target)
  cmake_parse_arguments(E "" "SYMBOL;FILE" "" ${ARGN})
  if(NOT E_SYMBOL OR NOT E_FILE)
    message(FATAL_ERROR "vorlix_embed: SYMBOL and FILE are required")
  endif()
  get_filename_component(file "${E_FILE}" ABSOLUTE)
  set(asm "${CMAKE_CURRENT_BINARY_DIR}/embed/${E_SYMBOL}.S")
  file(CONFIGURE OUTPUT "${asm}" @ONLY CONTENT [=[
#if defined(__ELF__)
    .section .rodata.@E_SYMBOL@,"a"
#else
    .section .rdata,"dr"
#endif
    .globl @E_SYMBOL@
    .globl @E_SYMBOL@_size
    .balign 16
@E_SYMBOL@:
    .incbin "@file@"
@E_SYMBOL@_end:
    .byte 0
    .balign 8
@E_SYMBOL@_size:
    .quad @E_SYMBOL@_end - @E_SYMBOL@
#if defined(__ELF__)
    .section .note.GNU-stack,"",@progbits
#endif
]=])
  target_sources(${target} PRIVATE "${asm}")
  set_source_files_properties("${asm}" PROPERTIES LANGUAGE ASM OBJECT_DEPENDS "${file}")
endfunction()
