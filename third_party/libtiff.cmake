# libtiff as a static library of this build: the cross build's third_party
# and the native fuzz build both include it. zlib must be found first.
set(BUILD_SHARED_LIBS OFF)
foreach(off tiff-tools tiff-tests tiff-contrib tiff-docs tiff-install cxx jpeg old-jpeg jbig lerc lzma zstd webp
            libdeflate pixarlog tiff-opengl)
    set(${off} OFF CACHE BOOL "" FORCE)
endforeach()
set(zlib ON CACHE BOOL "" FORCE)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/src/libtiff ${CMAKE_BINARY_DIR}/libtiff EXCLUDE_FROM_ALL)
add_library(vlm_tiff INTERFACE)
target_link_libraries(vlm_tiff INTERFACE tiff ZLIB::ZLIB)
