// zelvo submit slurm: a sequence's render as one Slurm array job. The
// options are checked here as the render checks them, so a mistake is one
// usage error now, not a failed task per chunk tonight.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "cli_error.h"
#include "commands.h"
#include "frame_range.h"
#include "plugin_locator.h"
#include "slurm_script.h"

extern char **environ;

namespace fs = std::filesystem;

namespace {

std::string absolute(const std::string &path)
{
    return fs::absolute(path).lexically_normal().string();
}

// This very binary, wherever the job's tasks start.
std::string thisTool(const char *argv0)
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? absolute(argv0) : self.string();
}

// The plug-in the tasks load: the one this command would load, by an
// absolute path; an identifier stays one, looked up on each node's search
// path (the job inherits this environment, OFX_PLUGIN_PATH with it).
std::string pluginForTasks(const std::string &plugin, const char *argv0)
{
    std::error_code ec;
    if (plugin.empty())
        return absolute(locatePlugin(plugin, argv0).path);
    if (fs::exists(plugin, ec))
        return absolute(plugin);
    return plugin;
}

// The render of one task, without its frames.
std::vector<std::string> taskCommand(const RenderOptions &r, const char *argv0)
{
    std::vector<std::string> c = {thisTool(argv0), "render", absolute(r.input), absolute(r.output),
                                  "--plugin", pluginForTasks(r.plugin, argv0)};
    auto option = [&](const char *name, const std::string &value) {
        if (!value.empty())
            c.insert(c.end(), {name, value});
    };
    for (const std::string &p : r.params)
        option("--param", p);
    option("--missing", r.missing);
    option("--depth", r.depth);
    option("--out-depth", r.outDepth);
    option("--compression", r.compression);
    option("--layer", r.layer);
    option("--channels", r.channels);
    if (r.tiles)
        c.insert(c.end(), {"--tiles", *r.tiles});
    option("--gpu", r.gpu);
    if (r.threads)
        option("--threads", std::to_string(*r.threads));
    if (r.maxImageMb)
        option("--max-image-mb", std::to_string(*r.maxImageMb));
    if (r.quiet)
        c.push_back("--quiet");
    if (r.verbose)
        c.push_back("--verbose");
    return c;
}

void refuseInDirective(const std::string &what, const std::string &value)
{
    if (value.find_first_of("\"\n\r") != std::string::npos)
        throw UsageError(what + " cannot hold a double quote or a line break: '" + value + "'");
}

struct Captured {
    int status = -1;
    std::string out, err;
};

// Runs a program found on PATH, its output kept.
Captured capture(const std::vector<std::string> &args)
{
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        throw CliError(std::string("cannot run ") + args[0] + ": " + std::strerror(errno));
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        throw CliError(std::string("cannot run ") + args[0] + ": " + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    Captured c;
    auto drain = [](int fd, std::string &into) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0)
                into.append(buffer, static_cast<std::size_t>(n));
        close(fd);
    };
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        throw CliError("cannot run " + args[0] + ": " + std::strerror(spawned) +
                       (spawned == ENOENT ? " (is Slurm's client installed?)" : ""));
    }
    // sbatch says little: its error output fits the pipe while we read the other.
    drain(outPipe[0], c.out);
    drain(errPipe[0], c.err);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    c.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return c;
}

std::string firstLine(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const std::size_t last = text.rfind('\n');
    return last == std::string::npos ? text : text.substr(last + 1);
}

}  // namespace

int submitSlurmCommand(const SubmitOptions &o, const char *argv0)
{
    if (o.chunk < 1)
        throw UsageError("--chunk must be at least 1 frame, not " + std::to_string(o.chunk));
    if (o.maxRunning && *o.maxRunning < 1)
        throw UsageError("--max-running must be at least 1, not " + std::to_string(*o.maxRunning));
    refuseInDirective("--partition", o.partition);
    for (const std::string &option : o.sbatch) {
        refuseInDirective("--sbatch", option);
        if (option.empty() || option[0] != '-')
            throw UsageError("--sbatch takes one sbatch option such as --mem=8G, not '" + option + "'");
    }
    // Everything a task would refuse, refused now: the frames, the output
    // pattern and format, the plug-in and its parameters.
    RenderOptions check = o.render;
    check.checkOnly = true;
    renderCommand(check, argv0);

    SlurmJob job;
    job.command = taskCommand(o.render, argv0);
    job.chunks = frameChunks(parseFrameList(o.render.frames), o.chunk);
    const fs::path output(absolute(o.render.output));
    job.workingDir = output.parent_path().string();
    job.logs = o.logs.empty() ? (output.parent_path() / "zelvo-logs").string() : absolute(o.logs);
    job.name = "zelvo " + output.filename().string();
    job.partition = o.partition;
    job.maxRunning = o.maxRunning.value_or(0);
    job.sbatch = o.sbatch;
    for (const std::string &path : {job.logs, job.workingDir, job.name})
        refuseInDirective("a path", path);
    const std::string script = slurmScript(job);
    if (o.dryRun) {
        std::cout << script;
        return kExitSuccess;
    }

    std::error_code ec;
    fs::create_directories(job.logs, ec);
    if (ec)
        throw CliError("cannot make the log folder " + job.logs + ": " + ec.message());
    const std::string pending = job.logs + "/zelvo-submit-" + std::to_string(getpid()) + ".sbatch";
    {
        std::ofstream file(pending);
        file << script;
        file.close();
        if (!file)
            throw CliError("cannot write the job script " + pending);
    }
    Captured sbatch;
    try {
        sbatch = capture({"sbatch", "--parsable", pending});
    } catch (const CliError &) {
        fs::remove(pending, ec);
        throw;
    }
    const std::string jobId = firstLine(sbatch.out).substr(0, firstLine(sbatch.out).find(';'));
    if (sbatch.status != 0 || jobId.empty() || jobId.find_first_not_of("0123456789") != std::string::npos) {
        fs::remove(pending, ec);
        const std::string reason = firstLine(sbatch.err.empty() ? sbatch.out : sbatch.err);
        throw CliError("sbatch refused the job" + (reason.empty() ? std::string() : ": " + reason));
    }
    // Kept beside the logs under the job's number: what each task ran.
    const std::string kept = job.logs + "/zelvo-" + jobId + ".sbatch";
    fs::rename(pending, kept, ec);
    std::cout << jobId << std::endl;
    std::cerr << "zelvo: submitted job " << jobId << ": " << job.chunks.size() << " task"
              << (job.chunks.size() == 1 ? "" : "s") << " of up to " << o.chunk << " frames; logs "
              << job.logs << "/zelvo-" << jobId << "_N.log, script " << (ec ? pending : kept) << std::endl;
    return kExitSuccess;
}
