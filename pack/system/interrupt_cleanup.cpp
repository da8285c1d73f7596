#include "pack/system/interrupt_cleanup.h"

#include <atomic>
#include <memory>
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

Block firstBlock;
Block* lastBlock = &firstBlock;
std::vector<Slot*> freeSlots;  // the main thread's own: the handler never looks at it
bool firstBlockFree = false;

Slot* TakeSlot()
{
    if (!firstBlockFree) {
        for (Slot& slot : firstBlock.slots)
            freeSlots.push_back(&slot);
        firstBlockFree = true;
    }
    if (freeSlots.empty()) {
        Block* block = new Block;  // lives as long as the program
        for (Slot& slot : block->slots)
            freeSlots.push_back(&slot);
        lastBlock->next.store(block, std::memory_order_release);
        lastBlock = block;
    }
    Slot* slot = freeSlots.back();
    freeSlots.pop_back();
    return slot;
}

}  // namespace

void RemoveRegisteredPaths()
{
    // Files first; then folders, again while any goes, as a folder empties
    // only once the folders inside it are gone.
    for (const Block* block = &firstBlock; block; block = block->next.load(std::memory_order_acquire))
        for (const Slot& slot : block->slots)
            if (const NativePathChar* path = slot.path.load(std::memory_order_acquire); path && !slot.folder.load())
                RemoveFileNow(path);
    for (bool removed = true; removed;) {
        removed = false;
        for (const Block* block = &firstBlock; block; block = block->next.load(std::memory_order_acquire))
            for (const Slot& slot : block->slots)
                if (const NativePathChar* path = slot.path.load(std::memory_order_acquire); path && slot.folder.load())
                    removed = RemoveFolderNow(path) || removed;
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
