#pragma once
// What the master and list downloads need of the server: a plain file
// download and a request by transaction code. The program plugs in its
// request function; tests plug in a fake that serves fixture bytes.
#include <string>

class ExchangeCancel;

struct ServerReply {
    int status = 0;   // HTTP status, or 0 when nothing could be exchanged
    std::string body; // the reply text or the file's (compressed) bytes
};

class ServerAccess {
public:
    virtual ~ServerAccess() = default;
    // A file from host:port by path with an empty query (the archives).
    virtual ServerReply downLoadFile(const std::string& host, int port, const std::string& path) = 0;
    // A request by transaction code with the given encryption type.
    virtual ServerReply requestServer(int encryptType, int transCode, const std::string& text) = 0;
    // The same, for an exchange that another thread may have to end: once
    // `cancel` is cancelled the exchange ends at once with a failure (status
    // 0). An access that cannot end an exchange early lets it run its course.
    virtual ServerReply requestServerCancellable(int encryptType, int transCode, const std::string& text,
                                                 ExchangeCancel& cancel)
    {
        (void)cancel;
        return requestServer(encryptType, transCode, text);
    }
};
