#include "CliTestSupport.h"

#include "Crc16.h"

#include <git2.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

CliResult RunInProcess(std::vector<std::string> args, const ExchangeTiming& timing,
                       CRunControl* control, bool terminal, int answerFd) {
    std::ostringstream out, err;
    CRunControl own;
    CliEnvironment env{out, err, terminal, timing, control != nullptr ? *control : own};
    env.answerFd = answerFd;
    env.outIsTerminal = terminal;
    CliResult result;
    result.exit = RunCli(args, env);
    result.out = out.str();
    result.err = err.str();
    return result;
}

CliProcess::CliProcess(const std::vector<std::string>& args) {
    ChildOptions options;
    options.input = ChildInput::Null;
    options.output = ChildOutput::Pipe;
    options.errors = ChildErrors::Pipe;
    m_child.Start(LUMARET_CLI_PROGRAM, args, options);
}

CliResult CliProcess::Wait(std::chrono::milliseconds timeout) {
    CliResult result;
    // Both pipes to their ends: the program has closed them by exiting.
    if (m_child.ReadToEnd(timeout)) {
        result.exit = m_child.Wait().status;
    }
    result.out = m_child.Output();
    result.err = m_child.Errors();
    return result;
}

CliResult RunProgram(std::vector<std::string> args, std::chrono::milliseconds timeout) {
    CliProcess process(std::move(args));
    return process.Wait(timeout);
}

SimProgram::SimProgram(const std::vector<std::string>& args) {
    ChildOptions options;
    options.output = ChildOutput::Null;
    m_child.Start(LUMARET_SIM_PROGRAM, args, options);
}

std::vector<std::string> OutputLines(const std::string& out) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(out.substr(start, end - start));
    }
    return lines;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> SeedEveryThirdSlot(SimulatedModule& module) {
    std::vector<std::string> lines;
    for (uint16_t slot = 1; slot <= 448; slot += 3) {
        const Bytes code = CodePattern(20 + slot % 50, static_cast<uint8_t>(slot));
        if (!module.SetSlot(slot, code)) {
            return {};
        }
        lines.push_back(ExpectedLine(slot, code));
    }
    return lines;
}

std::unique_ptr<SimulatedModule> StartModule(const std::string& comName, bool empty) {
    auto module = std::make_unique<SimulatedModule>();
    if (!module->Start() || !module->Publish(comName)) {
        return nullptr;
    }
    if (empty) {
        module->ClearSlots();
    }
    return module;
}

GitRepositorySeen::GitRepositorySeen(std::string dir) : m_dir(std::move(dir)) {
    git_libgit2_init();
    for (const git_config_level_t level :
         {GIT_CONFIG_LEVEL_SYSTEM, GIT_CONFIG_LEVEL_XDG, GIT_CONFIG_LEVEL_GLOBAL}) {
        git_libgit2_opts(GIT_OPT_SET_SEARCH_PATH, level, "/nonexistent");
    }
}

GitRepositorySeen::~GitRepositorySeen() {
    git_libgit2_shutdown();
}

namespace {

git_repository* OpenRepository(const std::string& dir) {
    git_repository* repo = nullptr;
    return git_repository_open(&repo, dir.c_str()) == 0 ? repo : nullptr;
}

} // namespace

std::vector<GitRepositorySeen::Commit> GitRepositorySeen::Log() const {
    std::vector<Commit> log;
    git_repository* repo = OpenRepository(m_dir);
    git_revwalk* walk = nullptr;
    if (repo != nullptr && git_revwalk_new(&walk, repo) == 0 && git_revwalk_push_head(walk) == 0) {
        git_oid id;
        while (git_revwalk_next(&id, walk) == 0) {
            git_commit* commit = nullptr;
            if (git_commit_lookup(&commit, repo, &id) == 0) {
                log.push_back({git_oid_tostr_s(&id), git_commit_message(commit),
                               git_commit_author(commit)->name});
                git_commit_free(commit);
            }
        }
    }
    git_revwalk_free(walk);
    git_repository_free(repo);
    return log;
}

std::string GitRepositorySeen::FileAt(const std::string& rev, const std::string& path) const {
    std::string text = "(none)";
    git_repository* repo = OpenRepository(m_dir);
    git_object* blob = nullptr;
    if (repo != nullptr && git_revparse_single(&blob, repo, (rev + ":" + path).c_str()) == 0 &&
        git_object_type(blob) == GIT_OBJECT_BLOB) {
        const auto* b = reinterpret_cast<git_blob*>(blob);
        text.assign(static_cast<const char*>(git_blob_rawcontent(b)), git_blob_rawsize(b));
    }
    git_object_free(blob);
    git_repository_free(repo);
    return text;
}

bool GitRepositorySeen::SetAuthor(const std::string& name, const std::string& email) const {
    git_repository* repo = OpenRepository(m_dir);
    git_config* config = nullptr;
    const bool set = repo != nullptr && git_repository_config(&config, repo) == 0 &&
                     git_config_set_string(config, "user.name", name.c_str()) == 0 &&
                     git_config_set_string(config, "user.email", email.c_str()) == 0;
    git_config_free(config);
    git_repository_free(repo);
    return set;
}
