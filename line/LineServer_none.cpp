#include "line/LineServer.h"

namespace tq9 {

// A build without libpq (the Windows cross build): no line server, said plainly.
struct LineServer::Connection {};

LineServer::LineServer(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)) {}
LineServer::~LineServer() = default;

bool LineServer::InThisBuild() {
    return false;
}

std::unique_ptr<LineServer> LineServer::Connect(const std::string&, std::string& whyNot, int) {
    whyNot = "this build has no line server (no libpq)";
    return nullptr;
}

std::string LineServer::TlsNotice() const {
    return {};
}

std::optional<LineServer::Facts> LineServer::Check(std::string& whyNot) {
    whyNot = "no line server";
    return std::nullopt;
}

bool LineServer::Init(int&, std::string& whyNot) {
    whyNot = "no line server";
    return false;
}

bool LineServer::RegisterBench(const std::string&, const std::string&, std::int64_t&,
                               std::string& whyNot) {
    whyNot = "no line server";
    return false;
}

bool LineServer::Send(const OperationRecord&, const std::string&, bool&, std::string& whyNot) {
    whyNot = "no line server";
    return false;
}

bool LineServer::Send(const std::vector<OperationRecord>&, const std::string&, std::vector<bool>&,
                      std::string& whyNot, bool*) {
    whyNot = "no line server";
    return false;
}

bool LineServer::Exec(const std::string&, std::string& whyNot) {
    whyNot = "no line server";
    return false;
}

std::optional<std::vector<OperationRecord>> LineServer::Find(const RecordFilter&,
                                                             std::string& whyNot) {
    whyNot = "no line server";
    return std::nullopt;
}

std::optional<std::int64_t> LineServer::Count(const RecordFilter&, std::string& whyNot) {
    whyNot = "no line server";
    return std::nullopt;
}

std::optional<LineReport> LineServer::Report(const std::string&, const std::string&,
                                             const std::string&, std::string& whyNot) {
    whyNot = "no line server";
    return std::nullopt;
}

}  // namespace tq9
