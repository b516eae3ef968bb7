#pragma once
// What the FTP tests share: a pyftpdlib server over a scratch root started per test (skipped with
// the reason where pyftpdlib is missing), no proxy from the environment and short time-outs.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/log_fixture.h"
#include "core/scoped_env.h"
#include "core/station_events.h"
#include "ftp/ftp_job.h"
#include "ftp/pyftpd_server.h"
#include "support/recording_station_events.h"
#include "support/test_support.h"

namespace winorvex::test {

class FtpServerFixture : public LogFixture {
protected:
    // Starts the server; the caller returns at once when it could not (the test is then skipped).
    bool StartServer(const PyFtpServer::Options& options = {}) {
        std::filesystem::create_directories(root());
        std::string whyNot;
        if (!server_.Start(root().string(), options, whyNot)) {
            skipReason_ = whyNot;
            return false;
        }
        options_ = options;
        return true;
    }

    std::filesystem::path root() const { return scratch_.path() / "root"; }
    std::filesystem::path local() const { return scratch_.path() / "local"; }

    std::string WriteLocal(const std::string& name, const std::string& bytes) {
        return scratch_.WriteFile("local/" + name, bytes);
    }

    // A job for the test server; the caller sets the remote name and the local file.
    CFtpJob MakeJob(int upload, const std::string& directory = "") {
        CFtpJob job(upload);
        job.SetServerTexts("Club", server_.Site(), options_.user, options_.password, directory);
        FtpTimeouts timeouts;
        timeouts.connectTimeoutMs = 3000;
        timeouts.lowSpeedTimeS = 5;
        job.SetTimeouts(timeouts);
        return job;
    }

    PyFtpServer server_;
    PyFtpServer::Options options_;
    std::string skipReason_;
    ScopedEnv noFtpProxy_{"ftp_proxy", std::nullopt};
    ScopedEnv noFtpProxyUpper_{"FTP_PROXY", std::nullopt};
    ScopedEnv noAllProxy_{"all_proxy", std::nullopt};
    ScopedEnv noAllProxyUpper_{"ALL_PROXY", std::nullopt};
};

#define START_FTP_SERVER_OR_SKIP(...)                               \
    do {                                                            \
        if (!StartServer(__VA_ARGS__)) GTEST_SKIP() << skipReason_; \
    } while (false)

}  // namespace winorvex::test
