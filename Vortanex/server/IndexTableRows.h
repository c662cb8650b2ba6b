#pragma once
// The feed's view of the program's index table (the indices loaded at login):
// a read-modify-write of one row at a time. The feed is the only writer after
// login, and its updates pass through here one at a time, so none is lost.
#include "server/FeedDispatcher.h"

#include <mutex>

class IndexTable;

class IndexTableRows : public IndexRows {
public:
    explicit IndexTableRows(IndexTable& table);
    bool update(int feedCode, const std::function<void(IndexRecord&)>& change, IndexRecord& after) override;

private:
    IndexTable& m_table;
    std::mutex m_mutex; // serialises the feed's read-modify-writes of the table
};
