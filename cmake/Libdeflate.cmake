# libdeflate's compressor, compiled from Debian's source package into every
# build of sfxpack (scripts/lib/third_party.sh fetches it into
# build/third_party), so that levels 1 to 10 give the same bytes from the
# Linux and the Windows packer. Only compression is taken: zlib inflates.
# Debian's patches are applied as it ships them, then ours (cmake/libdeflate/).
set(SFX_LIBDEFLATE_SOURCE ${PROJECT_SOURCE_DIR}/build/third_party/libdeflate-1.14 CACHE PATH
    "libdeflate's source tree (fetched by the first configure, and by the scripts)")
if(NOT EXISTS ${SFX_LIBDEFLATE_SOURCE}/libdeflate.h)
    message(FATAL_ERROR "libdeflate's source is not in ${SFX_LIBDEFLATE_SOURCE}: configuring fetches it "
                        "from Debian's source packages (scripts/lib/third_party.sh), which failed: see the warning above")
endif()
# With our patch (cmake/libdeflate/unfinished-streams.patch): blocks that end
# unfinished, so that the next block's stream follows without any rewriting.
file(STRINGS ${SFX_LIBDEFLATE_SOURCE}/libdeflate.h unfinished REGEX "libdeflate_deflate_compress_unfinished")
if(NOT unfinished)
    message(FATAL_ERROR "libdeflate in ${SFX_LIBDEFLATE_SOURCE} lacks the project's patch "
                        "(cmake/libdeflate/unfinished-streams.patch), which configuring applies: see the warning above")
endif()
set(libdeflate ${SFX_LIBDEFLATE_SOURCE}/lib)
add_library(libdeflate STATIC ${libdeflate}/deflate_compress.c ${libdeflate}/utils.c
                              ${libdeflate}/x86/cpu_features.c)
target_include_directories(libdeflate SYSTEM PUBLIC ${SFX_LIBDEFLATE_SOURCE})
# Its own code, as its authors wrote it: no warnings of ours, no sanitizers;
# optimised even in debugging builds.
target_compile_options(libdeflate PRIVATE -w -O2 $<$<BOOL:${SFX_SANITIZE}>:-fno-sanitize=all>)
