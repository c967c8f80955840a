# Writes the header that names the commit the programs are built from: run at every build,
# so a new commit is named without a new configure, and the header is rewritten only when
# its text changes. A tree that is not a git checkout of its own (a release tarball, a
# Debian source tree, no git at hand) names none.
# Usage: cmake -DSOURCE_DIR=... -DOUTPUT=.../commit.h -P commit.cmake
set(commit "")
find_program(git_program git)
if(git_program)
    execute_process(COMMAND ${git_program} -C ${SOURCE_DIR} rev-parse --show-toplevel
                    OUTPUT_VARIABLE top RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # Only the source's own checkout counts, not one the tarball happens to lie in.
    if(NOT failed AND EXISTS "${top}" AND EXISTS "${SOURCE_DIR}")
        file(REAL_PATH "${top}" top)
        file(REAL_PATH "${SOURCE_DIR}" source)
    endif()
    if(NOT failed AND top STREQUAL source)
        execute_process(COMMAND ${git_program} -C ${SOURCE_DIR} rev-parse --short=7 HEAD
                        OUTPUT_VARIABLE commit RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(failed)
            set(commit "")
        else()
            # Tracked files changed since the commit: the programs are not the commit's own.
            execute_process(COMMAND ${git_program} -C ${SOURCE_DIR} diff-index --quiet HEAD --
                            RESULT_VARIABLE changed ERROR_QUIET)
            if(changed)
                string(APPEND commit ", modified")
            endif()
        endif()
    endif()
endif()
set(text "// Made by cmake/commit.cmake at build time.\n#define MORVALE_COMMIT \"${commit}\"\n")
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
    file(WRITE ${OUTPUT} "${text}")
endif()
