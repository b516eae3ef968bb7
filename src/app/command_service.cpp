#include "app/command_service.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QByteArray>
#include <QLocalSocket>
#include <QTimer>
#include <cerrno>
#include <system_error>

#include "app/command_paths.h"
#include "core/log.h"
#include "core/text_format.h"

namespace winorvex {

namespace {

// A socket file nobody answers on was left by a station that ended without removing it.
bool SomeoneListens(const QString& path) {
    QLocalSocket probe;
    probe.connectToServer(path);
    const bool connected = probe.waitForConnected(500);
    probe.abort();
    return connected;
}

UniqueFd TakeSharedLock(const std::string& path, std::string& error) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.IsOpen() || ::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0) {
        error = path + ": " + std::generic_category().message(errno);
        return UniqueFd();
    }
    return fd;
}

}  // namespace

CommandService::CommandService(StationCommands& station, QObject* parent) : QObject(parent), station_(station) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &CommandService::Accept);
}

CommandService::~CommandService() {
    server_.close();
}

bool CommandService::Start(const std::string& serviceName, std::string& message) {
    std::string error;
    if (!IsUsableServiceName(serviceName)) {
        message = "InitDDE: Error ORVEX DDE Server Init";
        Log(0, "## Unusable command service name [" + serviceName + "]");
        return false;
    }
    if (!MakeCommandServiceFolder(error)) {
        message = "InitDDE: Error ORVEX DDE Server Init";
        Log(0, "## " + error);
        return false;
    }
    path_ = CommandServicePath(serviceName);
    const QString path = QString::fromStdString(path_);
    if (::access(path_.c_str(), F_OK) == 0) {
        if (SomeoneListens(path)) {
            // Another station offers this service: the name is taken.
            constexpr int kNameInUse = 0x4009;
            message = Format("InitDDE: Error ORVEX DdeNameService [%d = 0x%04X]", kNameInUse, kNameInUse);
            Log(0, "## " + path_ + ": another station answers on this service");
            return false;
        }
        QLocalServer::removeServer(path);
        Log(0, "+ Stale command socket replaced: " + path_);
    }
    if (!server_.listen(path)) {
        message = Format("InitDDE: Error ORVEX DdeNameService [%d = 0x%04X]", static_cast<int>(server_.serverError()),
                         static_cast<int>(server_.serverError()));
        Log(0, "## " + path_ + ": " + server_.errorString().toStdString());
        return false;
    }
    LogF(50, "+ Command service listening on %s", path_.c_str());
    return true;
}

void CommandService::Accept() {
    while (QLocalSocket* client = server_.nextPendingConnection()) Serve(client);
}

void CommandService::Serve(QLocalSocket* client) {
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    // A client that says nothing, or never ends its line, is dropped after a while.
    auto* timeout = new QTimer(client);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, client, [client] {
        Log(0, "## Command client dropped: no complete request in time");
        client->abort();
        client->deleteLater();
    });
    timeout->start(kRequestTimeoutMs);

    auto buffer = std::make_shared<QByteArray>();
    connect(client, &QLocalSocket::readyRead, client, [this, client, buffer, timeout] {
        buffer->append(client->readAll());
        const qsizetype lf = buffer->indexOf('\n');
        if (lf < 0) {
            if (buffer->size() > kMaxRequestBytes) {
                LogF(0, "## Command client dropped: request longer than %d bytes", kMaxRequestBytes);
                client->abort();
                client->deleteLater();
            }
            return;
        }
        timeout->stop();
        QByteArray request = buffer->left(lf);
        if (request.endsWith('\r')) request.chop(1);
        std::optional<std::string> answer;
        if (ready_)
            answer = DispatchCommand(std::string_view(request.constData(), static_cast<std::size_t>(request.size())),
                                     station_);
        if (answer) {
            QByteArray line = QByteArray::fromStdString(*answer);
            line.append('\n');
            client->write(line);
            client->flush();
        }
        client->disconnectFromServer();
    });
}

bool ServicePresenceLocks::Take(std::string& error) {
    if (!MakeCommandServiceFolder(error)) return false;
    if (!mutex_.IsOpen()) mutex_ = TakeSharedLock(CommandServiceFolder() + "/WinOrvexDde.mtx", error);
    if (!semaphore_.IsOpen()) semaphore_ = TakeSharedLock(CommandServiceFolder() + "/WinOrvexDde.sem", error);
    return mutex_.IsOpen() && semaphore_.IsOpen();
}

}  // namespace winorvex
