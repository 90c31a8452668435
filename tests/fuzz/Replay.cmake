# Every fuzz target's seed corpus replayed through its entry point in the
# sanitizer build, as one ctest each: known inputs are checked on every test
# run without the clang fuzz build, which scripts/fuzz makes for longer runs.
set(TARVEL_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

function(tarvel_fuzz_replay name source)
  add_executable(replay_${name} ${TARVEL_FUZZ_DIR}/${source} ${TARVEL_FUZZ_DIR}/ReplayMain.cpp ${ARGN})
  add_test(NAME fuzz_replay.${name} COMMAND replay_${name} ${TARVEL_FUZZ_DIR}/corpus/${name})
endfunction()

tarvel_fuzz_replay(sfl_record SflRecordFuzz.cpp)
target_link_libraries(replay_sfl_record PRIVATE tarvel_firmware)

tarvel_fuzz_replay(comment_block CommentBlockFuzz.cpp)
target_link_libraries(replay_comment_block PRIVATE tarvel_catalog tarvel_cli_lib)

# The converter's entry point compiled in, instead of loading libtesmol.so.
tarvel_fuzz_replay(intel_hex IntelHexFuzz.cpp ${CMAKE_SOURCE_DIR}/converters/Tesmol.cpp)
target_link_libraries(replay_intel_hex PRIVATE tarvel_converter_common)

tarvel_fuzz_replay(profile_file ProfileFileFuzz.cpp)
target_link_libraries(replay_profile_file PRIVATE tarvel_settings)

tarvel_fuzz_replay(cli_args CliArgsFuzz.cpp)
target_link_libraries(replay_cli_args PRIVATE tarvel_cli_lib)
