# zopfli, compiled from Debian's source package into every build of sfxpack
# (scripts/lib/third_party.sh fetches it into build/third_party), so that --level 11
# gives the same bytes from the Linux and the Windows packer.
set(SFX_ZOPFLI_SOURCE ${PROJECT_SOURCE_DIR}/build/third_party/zopfli-1.0.3 CACHE PATH
    "zopfli's source tree (scripts/test, scripts/package, scripts/demo, scripts/bench and scripts/fuzz fetch it)")
if(NOT EXISTS ${SFX_ZOPFLI_SOURCE}/src/zopfli/zopfli.h)
    message(FATAL_ERROR "zopfli's source is not in ${SFX_ZOPFLI_SOURCE}: the project's scripts fetch it "
                        "(source scripts/lib/third_party.sh and run sfx_fetch_third_party on the project's folder)")
endif()
set(zopfli ${SFX_ZOPFLI_SOURCE}/src/zopfli)
add_library(zopfli STATIC ${zopfli}/blocksplitter.c ${zopfli}/cache.c ${zopfli}/deflate.c ${zopfli}/hash.c
                          ${zopfli}/katajainen.c ${zopfli}/lz77.c ${zopfli}/squeeze.c ${zopfli}/tree.c
                          ${zopfli}/util.c)
target_include_directories(zopfli SYSTEM PUBLIC ${SFX_ZOPFLI_SOURCE}/src)
# Its own code, as its authors wrote it: no warnings of ours, no sanitizers
# (it compares bytes eight at a time through unaligned loads, on purpose);
# optimised even in debugging builds, where it would otherwise take minutes.
target_compile_options(zopfli PRIVATE -w -O2 $<$<BOOL:${SFX_SANITIZE}>:-fno-sanitize=all>)
