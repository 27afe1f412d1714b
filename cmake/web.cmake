# The Emscripten build: the core in WebAssembly with the page around it (web/), and the test-only Web MIDI
# stand-in (tools/webmidi_standin/), each when present. The native libraries defined before this point are
# left out of the default build: the page builds its own core below, with exceptions that a suspended wait
# can carry (-fexceptions with -sASYNCIFY).

# The shipped page is assembled here (build/web/ beside build/emscripten/); nothing else goes into it.
get_filename_component(SU_WEB_DIR_DEFAULT ${CMAKE_BINARY_DIR}/../web ABSOLUTE)
set(SU_WEB_DIR ${SU_WEB_DIR_DEFAULT} CACHE PATH "Where the static page is assembled")
get_filename_component(SU_WEB_STANDIN_DIR_DEFAULT ${CMAKE_BINARY_DIR}/../web-standin ABSOLUTE)
set(SU_WEB_STANDIN_DIR ${SU_WEB_STANDIN_DIR_DEFAULT} CACHE PATH "Where the test-only Web MIDI stand-in is assembled")

foreach(target su_base su_midi su_transfer su_app sqfconv2 sqfconv2_format)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endforeach()

# The portable core as the page uses it: the converter, base/, midi/ and transfer/ (no Windows or RtMidi code;
# the dialogs' logic lives in app/, which the page does not use), and the Web MIDI driver.
file(GLOB_RECURSE SU_WEB_CORE_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/base/*.cpp ${PROJECT_SOURCE_DIR}/midi/*.cpp ${PROJECT_SOURCE_DIR}/transfer/*.cpp)
list(FILTER SU_WEB_CORE_SOURCES EXCLUDE REGEX "/(win32|rtmidi)/")
# Slot names as a terminal shows them need the C library's character tables: the page's browser decodes the
# keyboard's bytes itself, so they stay out of its core.
list(FILTER SU_WEB_CORE_SOURCES EXCLUDE REGEX "/transfer/slot_name_text\\.cpp$")
# The page remembers keyboards in its browser's storage: the state file's streams stay out of its core too.
list(FILTER SU_WEB_CORE_SOURCES EXCLUDE REGEX "/transfer/keyboard_state_file\\.cpp$")
add_library(su_web_core STATIC ${SU_WEB_CORE_SOURCES}
  ${PROJECT_SOURCE_DIR}/converter/midi_file.cpp ${PROJECT_SOURCE_DIR}/converter/song_image.cpp
  ${PROJECT_SOURCE_DIR}/converter/song_convert.cpp ${PROJECT_SOURCE_DIR}/converter/sqfconv2.cpp
  ${PROJECT_SOURCE_DIR}/converter/file_name.cpp ${PROJECT_SOURCE_DIR}/converter/song_facts.cpp)
target_include_directories(su_web_core PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
# Bulk memory: every copy and fill of a buffer the compiler sees (a song's bytes, a vector's growth) is one
# WebAssembly instruction that the browser runs at native speed, instead of a loop in the C library's memcpy.
# Every browser with Web MIDI has it.
target_compile_options(su_web_core PUBLIC -fexceptions -mbulk-memory)
# The converter's inner loops are built without exception support: with it, every call that has something to
# clean up goes through a JavaScript trampoline, which made the conversion in the page three times slower than
# the native one. Nothing in them throws or catches; ConvertSqfToPK (sqfconv2.cpp) still catches whatever
# reaches it (running out of memory) and returns its failure result. The port choice is built the same way:
# it throws nothing either, and its string handling with landing pads weighed 30 KB of the page.
set_source_files_properties(
  ${PROJECT_SOURCE_DIR}/converter/midi_file.cpp ${PROJECT_SOURCE_DIR}/converter/song_image.cpp
  ${PROJECT_SOURCE_DIR}/converter/song_convert.cpp ${PROJECT_SOURCE_DIR}/converter/file_name.cpp
  ${PROJECT_SOURCE_DIR}/converter/song_facts.cpp ${PROJECT_SOURCE_DIR}/midi/port_choice.cpp
  PROPERTIES COMPILE_OPTIONS -fno-exceptions)
# Everything but the converter is compiled for size: it talks to a keyboard at 31 250 bits a second, or builds a
# few lines of JSON, and the page's weight is what its users wait for. The converter keeps the build's -O3 (its
# own files get no other optimization option: one given twice is not reliably the last one's).
set_property(SOURCE ${SU_WEB_CORE_SOURCES} APPEND PROPERTY COMPILE_OPTIONS -Oz)

foreach(dir web tools/webmidi_standin)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
