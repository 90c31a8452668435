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

# FuzzedDataProvider.h comes with clang's fuzzer runtime (libclang-rt-14-dev).
# A folder with a link to its folder alone: clang's other headers must not
# stand in for GCC's.
file(GLOB TARVEL_CLANG_INCLUDES LIST_DIRECTORIES true /usr/lib/llvm-*/lib/clang/*/include)
find_path(TARVEL_FUZZER_HEADERS fuzzer/FuzzedDataProvider.h PATHS ${TARVEL_CLANG_INCLUDES} NO_DEFAULT_PATH)
if(TARVEL_FUZZER_HEADERS)
  set(TARVEL_FUZZER_LINKS ${CMAKE_BINARY_DIR}/fuzzer-headers)
  file(MAKE_DIRECTORY ${TARVEL_FUZZER_LINKS})
  if(NOT EXISTS ${TARVEL_FUZZER_LINKS}/fuzzer)
    file(CREATE_LINK ${TARVEL_FUZZER_HEADERS}/fuzzer ${TARVEL_FUZZER_LINKS}/fuzzer SYMBOLIC)
  endif()
  tarvel_fuzz_replay(profile_file ProfileFileFuzz.cpp)
  target_include_directories(replay_profile_file SYSTEM PRIVATE ${TARVEL_FUZZER_LINKS})
  target_link_libraries(replay_profile_file PRIVATE tarvel_settings)
else()
  message(WARNING "fuzzer/FuzzedDataProvider.h not found (libclang-rt-14-dev): the profile_file corpus is not replayed")
endif()

tarvel_fuzz_replay(cli_args CliArgsFuzz.cpp)
target_link_libraries(replay_cli_args PRIVATE tarvel_cli_lib)
