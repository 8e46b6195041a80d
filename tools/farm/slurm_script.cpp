#include "slurm_script.h"

#include <sstream>

std::string shellWord(const std::string &word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

namespace {

// sbatch reads a directive's value like a shell word in double quotes; the
// caller has refused values with a quote or a line break.
std::string directiveValue(const std::string &value)
{
    return "\"" + value + "\"";
}

}  // namespace

std::string slurmScript(const SlurmJob &job)
{
    std::ostringstream s;
    s << "#!/bin/bash\n"
      << "# Written by zelvo submit slurm: task i renders chunk i of the frames.\n"
      << "#SBATCH --job-name=" << directiveValue(job.name) << "\n"
      << "#SBATCH --array=0-" << job.chunks.size() - 1;
    if (job.maxRunning > 0)
        s << "%" << job.maxRunning;
    s << "\n"
      // Run again elsewhere when a node fails; a task's log keeps every attempt.
      << "#SBATCH --requeue\n"
      << "#SBATCH --open-mode=append\n"
      << "#SBATCH --output=" << directiveValue(job.logs + "/zelvo-%A_%a.log") << "\n"
      << "#SBATCH --chdir=" << directiveValue(job.workingDir) << "\n";
    if (!job.partition.empty())
        s << "#SBATCH --partition=" << directiveValue(job.partition) << "\n";
    for (const std::string &option : job.sbatch)
        s << "#SBATCH " << option << "\n";
    s << "\nchunks=(";
    for (std::size_t i = 0; i < job.chunks.size(); ++i)
        s << (i % 8 == 0 ? "\n  " : " ") << job.chunks[i];
    s << "\n)\n"
      << "frames=${chunks[$SLURM_ARRAY_TASK_ID]}\n"
      << "echo \"zelvo: task $SLURM_ARRAY_TASK_ID of job $SLURM_ARRAY_JOB_ID, attempt $(( ${SLURM_RESTART_COUNT:-0} + 1 ))"
         " on $(hostname) ($SLURMD_NODENAME): frames $frames\"\n"
      << "exec";
    for (const std::string &word : job.command)
        s << " " << shellWord(word);
    s << " --frames \"$frames\" --skip-existing\n";
    return s.str();
}
