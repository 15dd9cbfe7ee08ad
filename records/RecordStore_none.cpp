// The record store of a build without SQLite: it never opens, so such a build keeps no
// records (and, since the program is told so at start, warns of none).

#include "records/RecordStore.h"

namespace tq9 {

struct RecordStore::Db {};

RecordStore::RecordStore(std::unique_ptr<Db> db, std::string path)
    : db_(std::move(db)), path_(std::move(path)) {}
RecordStore::~RecordStore() = default;

std::unique_ptr<RecordStore> RecordStore::Open(const std::string&, std::string& whyNot) {
    whyNot = kNoStoreInThisBuild;
    return nullptr;
}
bool RecordStore::Begin(OperationRecord&, std::string& whyNot) {
    whyNot = kNoStoreInThisBuild;
    return false;
}
void RecordStore::SetBusyTimeoutMs(int) {}
RecordStore::WriteResult RecordStore::TryBegin(OperationRecord&, std::string& whyNot) {
    whyNot = kNoStoreInThisBuild;
    return WriteResult::Failed;
}
bool RecordStore::Finish(OperationRecord&, std::string& whyNot) {
    whyNot = kNoStoreInThisBuild;
    return false;
}
int RecordStore::MarkInterrupted(const std::string&, bool (*)(long), std::string&) {
    return 0;
}
std::vector<OperationRecord> RecordStore::Find(const RecordFilter&, std::string&) {
    return {};
}
std::optional<OperationRecord> RecordStore::Get(std::int64_t, std::string&) {
    return std::nullopt;
}
RecordSummary RecordStore::Summary(const std::string&, std::string&) {
    return {};
}

}  // namespace tq9
