#pragma once

// The batch script of a render submitted to Slurm as one array job: task i
// renders chunk i of the frames with --skip-existing, so a task that a
// failed node left half done finishes the rest when Slurm runs it again.

#include <string>
#include <vector>

struct SlurmJob {
    std::string name;                  // the job's name in squeue
    std::vector<std::string> command;  // the render, without --frames: absolute paths throughout
    std::vector<std::string> chunks;   // a --frames list per task
    std::string logs;                  // absolute folder of the task logs
    std::string workingDir;            // absolute
    std::string partition;
    long long maxRunning = 0;          // 0: no limit
    std::vector<std::string> sbatch;   // more sbatch options
};

// Values with a double quote or a line break have been refused: sbatch
// reads each directive's value as a word in double quotes.
std::string slurmScript(const SlurmJob &job);

// A word for bash, quoted so that it stays one word whatever it holds.
std::string shellWord(const std::string &word);
