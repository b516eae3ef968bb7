#include "app/command_service.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <functional>
#include <system_error>
#include <utility>

#include "app/command_holder.h"
#include "app/command_paths.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

// Hands each accepted connection over as a plain descriptor: a client that closes its sending
// side must still get its answer, which a QLocalSocket (closed as a whole at the end of its
// input) could no longer write.
class CommandListener : public QLocalServer {
public:
    explicit CommandListener(std::function<void(UniqueFd)> onClient) : onClient_(std::move(onClient)) {}

protected:
    void incomingConnection(quintptr socketDescriptor) override {
        onClient_(UniqueFd(static_cast<int>(socketDescriptor)));
    }

private:
    std::function<void(UniqueFd)> onClient_;
};

namespace {

constexpr int kNameInUse = 0x4009;

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

std::string NameTakenText(const std::string& serviceName, const std::string& holderFolder) {
    const std::string settings = SettingsFilePath();
    if (holderFolder.empty()) {
        return Format(Tr("Le service de commandes \"%s\" est déjà tenu par une autre station (dossier de données "
                         "inconnu). Donnez à cette station un autre GOrvexDdeName (section [Settings] de %s).",
                         "The command service \"%s\" is already held by another station (data folder unknown). "
                         "Give this station another GOrvexDdeName ([Settings] section of %s)."),
                      serviceName.c_str(), settings.c_str());
    }
    return Format(Tr("Le service de commandes \"%s\" est déjà tenu par la station du dossier de données %s. Donnez "
                     "à cette station un autre GOrvexDdeName (section [Settings] de %s).",
                     "The command service \"%s\" is already held by the station of the data folder %s. Give this "
                     "station another GOrvexDdeName ([Settings] section of %s)."),
                  serviceName.c_str(), holderFolder.c_str(), settings.c_str());
}

// One connected client: its request is read up to its first line feed or the end of its input,
// answered once, and the connection closed.
class CommandClient : public QObject {
public:
    using Answerer = std::function<std::optional<std::string>(std::string_view)>;

    CommandClient(UniqueFd fd, Answerer answer, QObject* parent)
        : QObject(parent), fd_(std::move(fd)), answer_(std::move(answer)), notifier_(fd_.Get(), QSocketNotifier::Read) {
        ::fcntl(fd_.Get(), F_SETFL, ::fcntl(fd_.Get(), F_GETFL) | O_NONBLOCK);
        connect(&notifier_, &QSocketNotifier::activated, this, &CommandClient::ReadSome);
        // A client that says nothing, or never ends its line, is dropped after a while.
        timeout_.setSingleShot(true);
        connect(&timeout_, &QTimer::timeout, this, [this] {
            Log(0, "## Command client dropped: no complete request in time");
            Close();
        });
        timeout_.start(CommandService::kRequestTimeoutMs);
    }

private:
    void ReadSome() {
        bool ended = false;
        char chunk[1024];
        while (buffer_.size() <= CommandService::kMaxRequestBytes) {
            const ssize_t n = ::read(fd_.Get(), chunk, sizeof chunk);
            if (n > 0) {
                buffer_.append(chunk, n);
                continue;
            }
            if (n == 0) {
                ended = true;
            } else if (errno == EINTR) {
                continue;
            } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
                Close();
                return;
            }
            break;
        }
        const qsizetype lf = buffer_.indexOf('\n');
        if (lf >= 0) {
            buffer_.truncate(lf);
        } else if (buffer_.size() > CommandService::kMaxRequestBytes) {
            LogF(0, "## Command client dropped: request longer than %d bytes", CommandService::kMaxRequestBytes);
            Close();
            return;
        } else if (!ended) {
            return;
        } else if (buffer_.isEmpty()) {
            // Connected and left without a word: another station looking whether the name is free.
            Close();
            return;
        }
        Respond();
    }

    void Respond() {
        notifier_.setEnabled(false);
        timeout_.stop();
        if (buffer_.endsWith('\r')) buffer_.chop(1);
        // A command may run a nested event loop (a question to the operator) that ends the service.
        const QPointer<CommandClient> alive(this);
        const std::optional<std::string> answer =
            answer_(std::string_view(buffer_.constData(), static_cast<std::size_t>(buffer_.size())));
        if (alive.isNull()) return;
        if (answer) {
            const std::string line = *answer + "\n";
            const ssize_t sent = ::send(fd_.Get(), line.data(), line.size(), MSG_NOSIGNAL);
            if (sent != static_cast<ssize_t>(line.size())) Log(0, "## Command client left before its answer");
        }
        Close();
    }

    void Close() {
        notifier_.setEnabled(false);
        timeout_.stop();
        fd_.Reset();
        deleteLater();
    }

    UniqueFd fd_;
    Answerer answer_;
    QSocketNotifier notifier_;
    QTimer timeout_;
    QByteArray buffer_;
};

}  // namespace

CommandService::CommandService(StationCommands& station, QObject* parent)
    : QObject(parent),
      station_(station),
      listener_(std::make_unique<CommandListener>([this](UniqueFd client) { Serve(std::move(client)); })) {
    listener_->setSocketOptions(QLocalServer::UserAccessOption);
}

CommandService::~CommandService() {
    // The holder file first: a station starting meanwhile sees a live socket of an unknown holder
    // rather than a holder file of a socket that is gone.
    if (!serviceName_.empty()) RemoveServiceHolder(serviceName_, dataFolder_);
    listener_->close();
}

bool CommandService::Start(const std::string& serviceName, std::string& message) {
    std::string error;
    if (!IsUsableServiceName(serviceName)) {
        message = "InitDDE: Error ORVEX DDE Server Init";
        Log(0, "## Unusable command service name [" + serviceName + "]");
        return false;
    }
    const std::string path = CommandServicePath(serviceName);
    if (const std::string tooLong = SocketPathTooLongText(path); !tooLong.empty()) {
        message = "InitDDE: Error ORVEX DDE Server Init\n" + tooLong;
        Log(0, "## " + tooLong);
        return false;
    }
    if (!MakeCommandServiceFolder(error)) {
        message = "InitDDE: Error ORVEX DDE Server Init";
        Log(0, "## " + error);
        return false;
    }
    path_ = path;
    const QString qpath = QString::fromStdString(path_);
    if (::access(path_.c_str(), F_OK) == 0) {
        if (SomeoneListens(qpath)) {
            const std::string taken = NameTakenText(serviceName, ReadServiceHolder(serviceName));
            message = Format("InitDDE: Error ORVEX DdeNameService [%d = 0x%04X]\n", kNameInUse, kNameInUse) + taken;
            Log(0, "## " + path_ + ": " + taken);
            return false;
        }
        QLocalServer::removeServer(qpath);
        Log(0, "+ Stale command socket replaced: " + path_);
    }
    if (!listener_->listen(qpath)) {
        message = Format("InitDDE: Error ORVEX DdeNameService [%d = 0x%04X]",
                         static_cast<int>(listener_->serverError()), static_cast<int>(listener_->serverError()));
        Log(0, "## " + path_ + ": " + listener_->errorString().toStdString());
        return false;
    }
    serviceName_ = serviceName;
    dataFolder_ = GetDataFolder();
    if (!WriteServiceHolder(serviceName_, dataFolder_))
        Log(0, "## " + ServiceHolderPath(serviceName_) + ": " + std::generic_category().message(errno));
    LogF(50, "+ Command service listening on %s", path_.c_str());
    return true;
}

void CommandService::Serve(UniqueFd client) {
    new CommandClient(
        std::move(client), [this](std::string_view request) { return Answer(request); }, this);
}

std::optional<std::string> CommandService::Answer(std::string_view request) {
    if (!ready_) return std::nullopt;
    return DispatchCommand(request, station_);
}

bool ServicePresenceLocks::Take(std::string& error) {
    if (!MakeCommandServiceFolder(error)) return false;
    if (!mutex_.IsOpen()) mutex_ = TakeSharedLock(CommandServiceFolder() + "/WinOrvexDde.mtx", error);
    if (!semaphore_.IsOpen()) semaphore_ = TakeSharedLock(CommandServiceFolder() + "/WinOrvexDde.sem", error);
    return mutex_.IsOpen() && semaphore_.IsOpen();
}

}  // namespace winorvex
