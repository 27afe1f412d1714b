# The Emscripten build: the page's own folder (web/) and the test-only Web MIDI stand-in
# (tools/webmidi_standin/), each when present.
foreach(dir web tools/webmidi_standin)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
