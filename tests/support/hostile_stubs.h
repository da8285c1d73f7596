// Stubs made hostile for the tests and the benchmarks: valid enough to be
// read, built to make naive reading slow or naive rewriting wrong.
#ifndef SFX_TESTS_SUPPORT_HOSTILE_STUBS_H
#define SFX_TESTS_SUPPORT_HOSTILE_STUBS_H

#include <functional>
#include <string>

#include "pack/pe/pe_image.h"
#include "pack/pe/resource_tree.h"
#include "pack/pe/resource_writer.h"

// Puts `section` in place of the resources of a stub whose resource section
// is its last, and fixes the headers that describe it.
inline void PutResourceSection(Bytes& file, const PeImage& image, const Bytes& section)
{
    const PeSection& last = image.sections.back();
    const uint32_t size = AlignUp(section.size(), image.file_alignment);
    file.resize(last.raw_offset);
    file.insert(file.end(), section.begin(), section.end());
    file.resize(last.raw_offset + size, 0);
    StoreLe32(file, last.header_offset + 8, size);
    StoreLe32(file, last.header_offset + 16, size);
    StoreLe32(file, image.SizeOfImageOffset(), AlignUp(uint64_t{last.virtual_address} + size, image.section_alignment));
    StoreLe32(file, image.DirectoryEntryOffset(kResourceDirectory) + 4, size);
}

// Rewrites the resources of a stub (or installer) whose resource section is
// its last, as `change` has them.
inline void ChangeResources(Bytes& file, const PeImage& image, const std::function<void(ResourceTree&)>& change)
{
    std::string error;
    ResourceTree tree = *ReadResourceTree(file, image, &error);
    change(tree);
    PutResourceSection(file, image, WriteResourceTree(tree, image.sections.back().virtual_address));
}

// Gives a resource directory entry of id `from` in the last section the id
// `to`: with another entry of id `to` beside it, two entries of one name,
// which no tree holds. False unless `from` is there exactly once.
inline bool RenameResourceEntry(Bytes& file, const PeImage& image, uint16_t from, uint16_t to)
{
    const size_t start = image.sections.back().raw_offset;
    size_t found = 0, at = 0;
    for (size_t i = start; i + 8 <= file.size(); i += 4)  // the tables are aligned to 4 bytes
        if (LoadLe32(file, i) == from && LoadLe32(file, i + 4) != 0)
            ++found, at = i;
    if (found != 1)
        return false;
    StoreLe32(file, at, to);
    return true;
}

// Replaces the resources of a stub whose resource section is its last with
// a section of a megabyte whose root's 65,535 entries all lead to
// one directory of 65,535 entries: read naively, four billion visits.
inline void ShareResourceDirectories(Bytes& file, const PeImage& image)
{
    const uint32_t named = 16 + 65535 * 8;
    Bytes tree(2 * named + 16, 0);
    for (uint32_t directory : {0u, named}) {
        StoreLe16(tree, directory + 14, 65535);
        for (uint32_t i = 0; i < 65535; ++i) {
            StoreLe32(tree, directory + 16 + 8 * i, i + 1);
            StoreLe32(tree, directory + 20 + 8 * i, 0x80000000u | (directory == 0 ? named : 2 * named));
        }
    }
    PutResourceSection(file, image, tree);
}

// Leaves a stub (whose resource section is its last) its icon group, which
// lists icons 1 and 2, and gives it icons 1 to 65534 of a byte each: once the
// group's own go, three icon ids are free. Nothing else stays, so that the
// reader's limit of resources still takes it, with a package.
inline void CrowdIconIds(Bytes& file, const PeImage& image)
{
    std::string error;
    const std::optional<ResourceTree> tree = ReadResourceTree(file, image, &error);
    ResourceTree crowded;
    crowded[ResourceName::Id(kIconGroupResource)] = tree->at(ResourceName::Id(kIconGroupResource));
    ResourceNames& icons = crowded[ResourceName::Id(kIconResource)];
    for (uint32_t id = 1; id <= 65534; ++id)
        icons[ResourceName::Id(static_cast<uint16_t>(id))] = {{0x0409, ResourceData{Bytes{0}}}};
    PutResourceSection(file, image, WriteResourceTree(crowded, image.sections.back().virtual_address));
}

// Gives a stub (whose resource section is its last) a second icon group,
// 1001, that lists the same images as its window's, 1000.
inline void ShareIconImages(Bytes& file, const PeImage& image)
{
    std::string error;
    ResourceTree tree = *ReadResourceTree(file, image, &error);
    ResourceNames& groups = tree[ResourceName::Id(kIconGroupResource)];
    groups[ResourceName::Id(1001)] = groups.at(ResourceName::Id(1000));
    PutResourceSection(file, image, WriteResourceTree(tree, image.sections.back().virtual_address));
}

// Takes from a stub (whose resource section is its last) its dialogs, the
// progress window among them: a program that carries a package but never
// unpacks it.
inline void DropDialogs(Bytes& file, const PeImage& image)
{
    std::string error;
    ResourceTree tree = *ReadResourceTree(file, image, &error);
    tree.erase(ResourceName::Id(kDialogResource));
    PutResourceSection(file, image, WriteResourceTree(tree, image.sections.back().virtual_address));
}

// Leaves a stub (whose resource section is its last) nothing but the
// package's type holding every id but the package's own: 65,535 entries, as
// many as a directory counts, and with the package one more.
inline void CrowdPackageIds(Bytes& file, const PeImage& image)
{
    ResourceTree crowded;
    ResourceNames& packages = crowded[kPackageType];
    for (uint32_t id = 0; id <= 65535; ++id)
        if (id != kPackageId)
            packages[ResourceName::Id(static_cast<uint16_t>(id))] = {{0x0409, ResourceData{Bytes{0}}}};
    PutResourceSection(file, image, WriteResourceTree(crowded, image.sections.back().virtual_address));
}

#endif
