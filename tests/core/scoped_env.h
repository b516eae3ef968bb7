#pragma once
// Sets (or removes) an environment variable for the life of the object and puts the previous
// value back afterwards. Tests only: the environment is not safe to change while threads read it.
#include <cstdlib>
#include <optional>
#include <string>

namespace winorvex::test {

class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        Apply(value);
    }
    ~ScopedEnv() { Apply(previous_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace winorvex::test
