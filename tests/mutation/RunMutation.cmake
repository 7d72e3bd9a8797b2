# Writes the seed frames, gathers the sample caches and runs kor_mutate over all of them.
# Variables: SEEDS, MUTATE (the two programs), DATA (tests/data), WORK (scratch folder),
# MUTANTS (per seed file), optionally RANDOM_SEED.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/seeds ${WORK}/out)
execute_process(COMMAND ${SEEDS} ${WORK}/seeds COMMAND_ERROR_IS_FATAL ANY)
file(GLOB seedFiles ${WORK}/seeds/*.kor ${DATA}/golden/*.kor ${DATA}/samples/vdb/*.vdb
     ${DATA}/samples/vdb/blender/*.vdb ${DATA}/samples/f3d/*.f3d)
if(NOT DEFINED RANDOM_SEED)
    set(RANDOM_SEED 1)
endif()
execute_process(COMMAND ${MUTATE} --mutants ${MUTANTS} --seed ${RANDOM_SEED} --out ${WORK}/out
                        ${seedFiles}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "kor_mutate failed (${result}); the mutant is in ${WORK}/out")
endif()
