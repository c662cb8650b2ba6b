#pragma once
// The master and list downloads' view of the server, served by the real
// request function and file download.
#include "server/ServerAccess.h"

class RequestServerAccess final : public ServerAccess {
public:
    // The file (200 with the whole body) or the status; a failed exchange is 0.
    ServerReply downLoadFile(const std::string& host, int port, const std::string& path) override;
    // For the file codes (1, 15 to 18) the body is the file written to Comp.
    ServerReply requestServer(int encryptType, int transCode, const std::string& text) override;
    // The text exchanges only: a file code runs to its end.
    ServerReply requestServerCancellable(int encryptType, int transCode, const std::string& text,
                                         ExchangeCancel& cancel) override;
};
