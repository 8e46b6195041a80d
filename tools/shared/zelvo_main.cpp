// zelvo: describe, list and render OFX image-effect plug-ins from the
// command line, through our own host.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>

#include "clean_stop.h"

#include "cli_error.h"
#include "commands.h"

namespace {

// What a render is asked to do besides its input and output, shared by
// render and the farm's submit.
void addRenderOptions(CLI::App *cmd, RenderOptions &r)
{
    cmd->add_option("--param,-p", r.params,
                          "NAME=VALUE, or NAME=V1@F1,V2@F2,... for keyframes interpolated by the host");
    cmd->add_option("--frames", r.frames,
                          "Frames A, A-B or A-BxN (every Nth), comma-separated (default: the input frames that exist)");
    cmd->add_option("--missing", r.missing,
                          "A missing input frame: error (the default), skip it, or hold the previous input");
    cmd->add_flag("--skip-existing", r.skipExisting, "Leave output frames that exist alone (resume a chunk)");
    cmd->add_flag("-q,--quiet", r.quiet, "Report failures only");
    cmd->add_flag("-v,--verbose", r.verbose, "One line per frame with the plug-in's parameter values");
    cmd->add_option("--depth", r.depth, "Render depth handed to the plug-in: 8, 16 or float (default: the input's; half renders as float)");
    cmd->add_option("-d,--out-depth", r.outDepth, "Output pixel type: uint8, uint16, half or float (default: the input's)");
    cmd->add_option("--compression", r.compression, "Output compression NAME[:QUALITY] (default: the input's, in the same format)");
    cmd->add_option("--layer", r.layer, "Render the R, G, B, A of this layer (LAYER.R, ...)");
    cmd->add_option("--channels", r.channels, "Render these channels as R,G,B[,A], e.g. N.x,N.y,N.z,N.w");
    cmd->add_option("--threads", r.threads, "Host threads to offer the plug-in, 1 to 1024 (default: all CPUs)");
    cmd->add_option("--tiles", r.tiles,
                          "Render each frame as tiles of WxH pixels, as tiling hosts do (0 for the whole width or "
                          "height: 0x64 is strips)");
    cmd->add_option("--max-image-mb", r.maxImageMb,
                          "Refuse images whose pixels need more memory than this (default: half of this machine's)")
        ->check(CLI::Number);  // an empty value is a mistake, not the default
    cmd->add_option("--gpu", r.gpu,
                          "opencl: hand a plug-in that declares OpenCL buffers its images on the OpenCL device; "
                          "opencl-images: as OpenCL images to one that declares those (default: off, or ZELVO_GPU)");
    cmd->add_option("--plugin", r.plugin, "Plug-in path or identifier (default: Zelvo)");
}

int run(int argc, char **argv)
{
    CLI::App app{"zelvo: run OFX image-effect plug-ins (by default the Zelvo section split) from the command line"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "zelvo " ZELVO_VERSION);
    app.footer("Exit codes: 0 success, 1 a render, plug-in or file failed, 2 usage error, 128+N stopped by signal N.");

    std::string describePlugin;
    CLI::App *describe = app.add_subcommand("describe", "Show a plug-in as a host sees it");
    describe->add_option("PLUGIN", describePlugin,
                         "Bundle or binary path, or a plug-in identifier on OFX_PLUGIN_PATH and /usr/OFX/Plugins "
                         "(default: the plug-in beside this tool)");

    CLI::App *plugins =
        app.add_subcommand("plugins", "List the OFX plug-ins beside this tool, on OFX_PLUGIN_PATH and /usr/OFX/Plugins");
    std::string probePath;
    plugins->add_option("--probe", probePath, "List the records of one binary (used by plugins itself)")->group("");

    RenderOptions render;
    CLI::App *renderCmd = app.add_subcommand("render", "Render images or frame sequences through the plug-in");
    renderCmd->add_option("INPUT", render.input, "Input image, or a sequence: # is four digits, @ one, or %04d")->required();
    renderCmd->add_option("OUTPUT", render.output, "Output image (format by extension), or a pattern")->required();
    addRenderOptions(renderCmd, render);

    ValidateOptions v;
    CLI::App *validate = app.add_subcommand(
        "validate", "Run an OFX image-effect plug-in through checks that prove it harmless to any host");
    validate->add_option("PLUGIN", v.plugin, "Bundle or binary path, or identifier (default: Zelvo)");
    validate->add_option("--seed", v.seed, "Seed of the random checks, to replay a run");
    validate->add_option("--only", v.only, "Run only the checks whose names match this pattern");
    validate->add_option("--host", v.hosts,
                         "Play this host profile (repeatable): all (the default), tiled, proxy, top-down, "
                         "short-lived, frames-at-once, wrong-depth or oversized; each is the check hosts.PROFILE")
        ->allow_extra_args(false)
        ->take_all();
    validate->add_option("--require", v.require,
                         "A kind of check that must run (gpu: a machine without an OpenCL device, or a plug-in "
                         "without an OpenCL render, fails instead of skipping)");
    validate->add_option("--repeat", v.repeat, "Run the checks this many times, each round with the next seed");
    validate->add_flag("--all", v.all, "Validate every plug-in that zelvo plugins lists, a summary line each");
    validate->add_option("--junit", v.junit, "Write a JUnit XML report (a test case per check) to this file");
    validate->add_option("--log", v.log, "Write every check's detail, timing and the plug-in's output to this file");
    validate->add_option("--run-check", v.runCheck, "Run one check in this process (used by validate itself)")
        ->group("");
    validate->add_option("--record", v.record, "The plug-in's index in its binary (used by validate itself)")
        ->group("");

    CheckOptions check;
    CLI::App *checkCmd = app.add_subcommand(
        "check", "Check that a rendered sequence is whole: every frame there and decoding, no temporary file left");
    checkCmd->add_option("OUTPUT", check.output, "The sequence: # is four digits, @ one, or %04d")->required();
    checkCmd->add_option("--frames", check.frames,
                         "Frames A, A-B or A-BxN, comma-separated (default: the input's with --like, else the "
                         "first to the last output found)");
    checkCmd->add_option("--like", check.like, "The input sequence: each frame must have its data window and channels");
    checkCmd->add_option("--clean", check.clean,
                         "Remove leftover temporary files older than AGE (90s, 15m, 2h, 1d), of any machine");

    SubmitOptions submit;
    CLI::App *submitCmd = app.add_subcommand("submit", "Submit a sequence's render to a farm manager");
    submitCmd->require_subcommand(1);
    CLI::App *slurm = submitCmd->add_subcommand(
        "slurm", "One Slurm array job: a task per chunk of frames, each resumable with --skip-existing");
    slurm->add_option("INPUT", submit.render.input, "Input sequence: # is four digits, @ one, or %04d")->required();
    slurm->add_option("OUTPUT", submit.render.output, "Output pattern")->required();
    addRenderOptions(slurm, submit.render);
    slurm->get_option("--frames")->required();
    slurm->add_option("--chunk", submit.chunk, "Frames per task")->required();
    slurm->add_option("--partition", submit.partition, "Slurm partition");
    slurm->add_option("--max-running", submit.maxRunning, "Tasks running at once");
    slurm->add_option("--sbatch", submit.sbatch, "One more sbatch option, e.g. --sbatch=--mem=8G (repeatable)")
        ->allow_extra_args(false);
    slurm->add_option("--logs", submit.logs, "Folder of the task logs and the job script (default: OUTPUT's folder/zelvo-logs)");
    slurm->add_flag("--dry-run", submit.dryRun, "Print the job script; submit nothing");

    std::string cardOutput;
    int cardWidth = 960, cardHeight = 540;
    CLI::App *card = app.add_subcommand("testcard", "Write a colourful 8-bit test card image");
    card->add_option("OUTPUT", cardOutput, "Output image")->required();
    card->add_option("--width", cardWidth, "Width in pixels");
    card->add_option("--height", cardHeight, "Height in pixels");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0)
            return app.exit(e);  // --help, --version
        std::string message = e.what();
        std::replace(message.begin(), message.end(), '\n', ' ');
        std::cerr << "zelvo: " << message << " (see zelvo --help)" << std::endl;
        return kExitUsage;
    }
    try {
        if (describe->parsed()) {
            cleanstop::install();
            return describeCommand(describePlugin, argv[0]);
        }
        if (plugins->parsed())
            return probePath.empty() ? pluginsCommand(argv[0]) : probePluginCommand(probePath);
        if (renderCmd->parsed()) {
            cleanstop::install();
            return renderCommand(render, argv[0]);
        }
        if (validate->parsed())
            return validateCommand(v, argv[0]);
        if (checkCmd->parsed()) {
            cleanstop::install();
            return checkCommand(check);
        }
        if (slurm->parsed()) {
            cleanstop::install();
            return submitSlurmCommand(submit, argv[0]);
        }
        if (card->parsed()) {
            cleanstop::install();
            return testcardCommand(cardOutput, cardWidth, cardHeight);
        }
    } catch (const CliError &e) {
        std::cerr << "zelvo: " << e.what() << std::endl;
        return e.code();
    } catch (const std::exception &e) {
        std::cerr << "zelvo: " << e.what() << std::endl;
        return kExitFailure;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    cleanstop::watchExits();
    const int code = run(argc, argv);
    cleanstop::finished();
    return code;
}
