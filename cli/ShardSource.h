#pragma once

#include <functional>
#include <string>

namespace quillon::cli
{

// Reads an environment variable; null when it is not set.
using EnvironmentReader = std::function<const char*(const char*)>;

// K and N of `--shard auto` from the job engine that started this process, looked for in this
// order: a Kubernetes Indexed Job (JOB_COMPLETION_INDEX; N from `shardCount`, else from
// QUILLON_SHARD_COUNT), a Slurm job array (SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT,
// counted from SLURM_ARRAY_TASK_MIN in steps of SLURM_ARRAY_TASK_STEP when given), GNU parallel
// (PARALLEL_SEQ, counted from 1, with `shardCount`). `shardCount` is 0 when not given. False with
// the reason when no engine is found or its values do not make a shard; `engine` names the one used.
bool shardFromEnvironment(const EnvironmentReader& env, int shardCount, int& k, int& n, std::string& engine,
                          std::string& error);

} // namespace quillon::cli
