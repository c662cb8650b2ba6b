#include "app/base/InternedText.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

namespace {
namespace interned_text_detail {

// Shards, each with its own lock: a master's parsing threads intern at once.
constexpr size_t kShards = 16;
// Texts are copied side by side into blocks this large (a page: most
// shards hold a few hundred symbols).
constexpr size_t kBlockBytes = 4096;

struct Shard {
    std::mutex mutex;
    std::unordered_set<std::string_view> texts; // views into `blocks`
    std::vector<std::unique_ptr<char[]>> blocks;
    size_t used = kBlockBytes; // of the last block

    const char* keep(std::string_view text)
    {
        const size_t need = text.size() + 2; // length byte, text, NUL
        char* at = nullptr;
        if (need > kBlockBytes) {
            blocks.push_back(std::unique_ptr<char[]>(new char[need]));
            at = blocks.back().get();
        } else {
            if (used + need > kBlockBytes) {
                blocks.push_back(std::unique_ptr<char[]>(new char[kBlockBytes]));
                used = 0;
            }
            at = blocks.back().get() + used;
            used += need;
        }
        at[0] = static_cast<char>(text.size());
        std::memcpy(at + 1, text.data(), text.size());
        at[1 + text.size()] = '\0';
        texts.insert(std::string_view(at + 1, text.size()));
        return at + 1;
    }
};

// Never destroyed: rows of tables that outlive static destruction (a
// worker's last copy) may still point into it.
Shard* shards()
{
    static Shard* const s = new Shard[kShards];
    return s;
}

// The last text this thread interned: a master lists the contracts of one
// symbol one after another.
thread_local std::string_view t_last;

} // namespace interned_text_detail
} // namespace

const char* InternText(std::string_view text)
{
    using namespace interned_text_detail;
    if (text.size() > 255)
        text = text.substr(0, 255);
    if (text.empty()) {
        static constexpr char kEmpty[2] = {0, 0}; // a length byte of 0, then the end
        return kEmpty + 1;
    }
    if (text == t_last)
        return t_last.data();
    const size_t h = std::hash<std::string_view>{}(text);
    Shard& shard = shards()[h % kShards];
    std::lock_guard lock(shard.mutex);
    const auto found = shard.texts.find(text);
    const char* kept = found != shard.texts.end() ? found->data() : shard.keep(text);
    t_last = std::string_view(kept, text.size());
    return kept;
}
