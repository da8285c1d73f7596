#include "pack/system/interrupt_cleanup.h"

#include <atomic>
#include <vector>

#include "pack/system/interrupt_cleanup_platform.h"

// The registry: blocks of slots that are only ever added, never moved or
// freed, so that the handler can walk them whenever it runs. A slot holds a
// path's text, or nothing.
struct Slot {
    std::atomic<const NativePathChar*> path{nullptr};
    std::atomic<bool> folder{false};
};

namespace {

constexpr size_t kSlotsPerBlock = 1024;

struct Block {
    Slot slots[kSlotsPerBlock];
    std::atomic<Block*> next{nullptr};
};

std::atomic<Block*> firstBlock{nullptr};
Block* lastBlock = nullptr;
std::vector<Slot*> freeSlots;  // the main thread's own: the handler never looks at it

Slot* TakeSlot()
{
    if (freeSlots.empty()) {
        Block* block = new Block;  // lives as long as the program
        for (Slot& slot : block->slots)
            freeSlots.push_back(&slot);
        (lastBlock ? lastBlock->next : firstBlock).store(block, std::memory_order_release);
        lastBlock = block;
    }
    Slot* slot = freeSlots.back();
    freeSlots.pop_back();
    return slot;
}

// Calls visit(path, isFolder) for each path registered.
template <typename Visit>
void ForEachRegistered(Visit visit)
{
    for (const Block* block = firstBlock.load(std::memory_order_acquire); block;
         block = block->next.load(std::memory_order_acquire))
        for (const Slot& slot : block->slots)
            if (const NativePathChar* path = slot.path.load(std::memory_order_acquire))
                visit(path, slot.folder.load());
}

}  // namespace

void RemoveRegisteredPaths()
{
    // Files first; then folders, again while any goes, as a folder empties
    // only once the folders inside it are gone.
    ForEachRegistered([](const NativePathChar* path, bool folder) {
        if (!folder)
            RemoveFileNow(path);
    });
    for (bool removed = true; removed;) {
        removed = false;
        ForEachRegistered([&](const NativePathChar* path, bool folder) {
            if (folder)
                removed = RemoveFolderNow(path) || removed;
        });
    }
}

InterruptCleanup::InterruptCleanup(const std::filesystem::path& path, Kind kind) : slot_(TakeSlot()), path_(path)
{
    slot_->folder.store(kind == Kind::Folder);
    slot_->path.store(path_.c_str(), std::memory_order_release);
}

InterruptCleanup::InterruptCleanup(InterruptCleanup&& other) noexcept
{
    *this = std::move(other);
}

InterruptCleanup& InterruptCleanup::operator=(InterruptCleanup&& other) noexcept
{
    if (this != &other) {
        Release();
        if (other.slot_) {
            // The text moves: the slot points at the new copy before the old one goes.
            path_ = other.path_;
            slot_ = other.slot_;
            slot_->path.store(path_.c_str(), std::memory_order_release);
            other.slot_ = nullptr;
        }
    }
    return *this;
}

void InterruptCleanup::Release()
{
    if (!slot_)
        return;
    slot_->path.store(nullptr, std::memory_order_release);
    freeSlots.push_back(slot_);
    slot_ = nullptr;
}
