# Used by bench/engine/run only while bench/CMakeLists.txt does not add this directory itself:
# adds it once the top-level CMakeLists has defined the libraries.
function(zandrel_engine_bench_hook)
    if(NOT TARGET engine_bench AND TARGET zandrel_win)
        add_subdirectory(${CMAKE_SOURCE_DIR}/bench/engine ${CMAKE_BINARY_DIR}/bench/engine-hook)
    endif()
endfunction()
if(CMAKE_SOURCE_DIR STREQUAL PROJECT_SOURCE_DIR)
    cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL zandrel_engine_bench_hook)
endif()
