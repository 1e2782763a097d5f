# WebAssembly (wasm32) through Debian's emscripten. Its JavaScript optimiser needs Debian's acorn
# (NODE_PATH=/usr/share/nodejs, set by the wasm preset). Programs run under Node with the real
# file system mounted, so tests read their data files where they lie; Node 20 must not try to
# fetch the .wasm file as a URL.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR node;--no-experimental-fetch)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1")
