#include "ShardSource.h"

namespace quillon::cli
{

namespace
{

constexpr long kMaxShards = 1000000;

// A whole number from 0 to kMaxShards, nothing else.
bool number(const char* text, long& value)
{
    if (!text || !*text)
        return false;
    value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || p - text >= 7)
            return false;
        value = value * 10 + (*p - '0');
    }
    return value <= kMaxShards;
}

bool fromVariable(const EnvironmentReader& env, const char* name, long& value, std::string& error)
{
    if (number(env(name), value))
        return true;
    error = std::string(name) + " is not a whole number from 0 to " + std::to_string(kMaxShards) + ": \"" +
            std::string(env(name)).substr(0, 32) + "\"";
    return false;
}

bool finish(long k, long n, const std::string& which, int& kOut, int& nOut, std::string& error)
{
    if (n < 1 || k < 0 || k >= n) {
        error = which + " gives shard " + std::to_string(k) + " of " + std::to_string(n) +
                ": it must be from 0 to N-1, with N at least 1";
        return false;
    }
    kOut = static_cast<int>(k);
    nOut = static_cast<int>(n);
    return true;
}

} // namespace

bool shardFromEnvironment(const EnvironmentReader& env, int shardCount, int& k, int& n, std::string& engine,
                          std::string& error)
{
    long index = 0, count = shardCount;
    if (env("JOB_COMPLETION_INDEX")) {
        engine = "Kubernetes Indexed Job";
        if (!fromVariable(env, "JOB_COMPLETION_INDEX", index, error))
            return false;
        if (count == 0 && env("QUILLON_SHARD_COUNT") && !fromVariable(env, "QUILLON_SHARD_COUNT", count, error))
            return false;
        if (count == 0) {
            error = "a Kubernetes Indexed Job gives the index only: give the number of shards with --shard-count or "
                    "QUILLON_SHARD_COUNT (the job's completions)";
            return false;
        }
        return finish(index, count, "JOB_COMPLETION_INDEX", k, n, error);
    }
    if (env("SLURM_ARRAY_TASK_ID")) {
        engine = "Slurm job array";
        long first = 0, step = 1;
        if (!fromVariable(env, "SLURM_ARRAY_TASK_ID", index, error))
            return false;
        if (!env("SLURM_ARRAY_TASK_COUNT")) {
            error = "SLURM_ARRAY_TASK_ID is set but SLURM_ARRAY_TASK_COUNT is not";
            return false;
        }
        if (!fromVariable(env, "SLURM_ARRAY_TASK_COUNT", count, error))
            return false;
        if (shardCount != 0 && shardCount != count) {
            error = "--shard-count " + std::to_string(shardCount) + " differs from SLURM_ARRAY_TASK_COUNT " +
                    std::to_string(count);
            return false;
        }
        // An array may run from any first index in steps: --array=1-8 or --array=0-14:2.
        if (env("SLURM_ARRAY_TASK_MIN") && !fromVariable(env, "SLURM_ARRAY_TASK_MIN", first, error))
            return false;
        if (env("SLURM_ARRAY_TASK_STEP") && (!fromVariable(env, "SLURM_ARRAY_TASK_STEP", step, error) || step < 1)) {
            if (error.empty())
                error = "SLURM_ARRAY_TASK_STEP must be at least 1";
            return false;
        }
        if (index < first || (index - first) % step != 0) {
            error = "SLURM_ARRAY_TASK_ID " + std::to_string(index) + " is not in the array from " +
                    std::to_string(first) + " in steps of " + std::to_string(step);
            return false;
        }
        return finish((index - first) / step, count, "the Slurm job array", k, n, error);
    }
    if (env("PARALLEL_SEQ")) {
        engine = "GNU parallel";
        if (!fromVariable(env, "PARALLEL_SEQ", index, error))
            return false;
        if (count == 0) {
            error = "GNU parallel numbers its jobs only: give the number of shards with --shard-count";
            return false;
        }
        if (index < 1) {
            error = "PARALLEL_SEQ counts from 1";
            return false;
        }
        return finish(index - 1, count, "PARALLEL_SEQ", k, n, error);
    }
    error = "--shard auto found no job engine: none of JOB_COMPLETION_INDEX (Kubernetes), SLURM_ARRAY_TASK_ID "
            "(Slurm) or PARALLEL_SEQ (GNU parallel) is set; give --shard K/N";
    return false;
}

} // namespace quillon::cli
