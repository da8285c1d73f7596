# zopfli, compiled from Debian's source package into every build of sfxpack
# (scripts/lib/third_party.sh fetches it into build/third_party), so that --level 11
# gives the same bytes from the Linux and the Windows packer.
# zopfli says its version nowhere in its code: sfxpack --version takes it from here.
set(SFX_ZOPFLI_VERSION 1.0.3)
set(SFX_ZOPFLI_SOURCE ${PROJECT_SOURCE_DIR}/build/third_party/zopfli-${SFX_ZOPFLI_VERSION} CACHE PATH
    "zopfli's source tree (fetched by the first configure, and by the scripts)")
if(NOT EXISTS ${SFX_ZOPFLI_SOURCE}/src/zopfli/zopfli.h)
    message(FATAL_ERROR "zopfli's source is not in ${SFX_ZOPFLI_SOURCE}: configuring fetches it "
                        "from Debian's source packages (scripts/lib/third_party.sh), which failed: see the warning above")
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
