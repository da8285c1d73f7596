// Stubs made hostile for the tests and the benchmarks: valid enough to be
// read, built to make naive reading slow.
#ifndef SFX_TESTS_SUPPORT_HOSTILE_STUBS_H
#define SFX_TESTS_SUPPORT_HOSTILE_STUBS_H

#include "pack/pe/pe_image.h"

// Replaces the resources of a stub whose resource section is its last with
// a section of a megabyte whose root's 65,535 entries all lead to
// one directory of 65,535 entries: read naively, four billion visits.
inline void ShareResourceDirectories(Bytes& file, const PeImage& image)
{
    const PeSection& section = image.sections.back();
    const uint32_t named = 16 + 65535 * 8;
    Bytes tree(2 * named + 16, 0);
    for (uint32_t directory : {0u, named}) {
        StoreLe16(tree, directory + 14, 65535);
        for (uint32_t i = 0; i < 65535; ++i) {
            StoreLe32(tree, directory + 16 + 8 * i, i + 1);
            StoreLe32(tree, directory + 20 + 8 * i, 0x80000000u | (directory == 0 ? named : 2 * named));
        }
    }
    const uint32_t size = AlignUp(tree.size(), image.file_alignment);
    file.resize(section.raw_offset);
    file.insert(file.end(), tree.begin(), tree.end());
    file.resize(section.raw_offset + size, 0);
    StoreLe32(file, section.header_offset + 8, size);
    StoreLe32(file, section.header_offset + 16, size);
    StoreLe32(file, image.SizeOfImageOffset(), AlignUp(uint64_t{section.virtual_address} + size, image.section_alignment));
    StoreLe32(file, image.DirectoryEntryOffset(kResourceDirectory) + 4, size);
}

#endif
