# The harnesses and what each one links, shared by the fuzzing build (fuzz/,
# clang and libFuzzer) and by the replay of kept inputs in the ordinary tests.
set(FUZZ_HARNESSES standin_decompress orvane_decode orvane_scan mp3_frames coder_literals sumbrel_module sumbrel_restore sumbrel_restore2)
set(FUZZ_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})

# Adds the executable TARGET from harness NAME plus the extra sources given.
function(add_fuzz_harness TARGET NAME)
  add_executable(${TARGET} ${FUZZ_SOURCE_DIR}/${NAME}.cpp ${ARGN})
  target_include_directories(${TARGET} PRIVATE ${FUZZ_SOURCE_DIR})
  if(NAME STREQUAL "standin_decompress")
    # The codec itself, called directly rather than through dlopen.
    target_sources(${TARGET} PRIVATE ${FUZZ_SOURCE_DIR}/../standin/oodle/oodle_standin.c)
    target_include_directories(${TARGET} PRIVATE ${LZ4_INCLUDE_DIR})
    target_link_libraries(${TARGET} PRIVATE ${LZ4_LIBRARY})
  elseif(NAME MATCHES "^orvane_")
    # orvane loads the codec from its own directory, where this lands too.
    target_link_libraries(${TARGET} PRIVATE orvane_drivers)
    add_dependencies(${TARGET} oo2core_7_linux64)
    if(NAME STREQUAL "orvane_decode")
      # The tests' own reader of container records checks the decoder's claims.
      target_sources(${TARGET} PRIVATE ${FUZZ_SOURCE_DIR}/../tests/orvane/driver_samples.cpp)
      target_include_directories(${TARGET} PRIVATE ${FUZZ_SOURCE_DIR}/../tests/orvane)
    endif()
  elseif(NAME STREQUAL "mp3_frames")
    target_link_libraries(${TARGET} PRIVATE sumbrel_bitstream)
  elseif(NAME STREQUAL "coder_literals")
    target_link_libraries(${TARGET} PRIVATE sumbrel_coder)
  elseif(NAME MATCHES "^sumbrel_")
    target_link_libraries(${TARGET} PRIVATE sumbrel_module)
  else()
    message(FATAL_ERROR "unknown fuzz harness ${NAME}")
  endif()
endfunction()
