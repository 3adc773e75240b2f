# Creates an empty session database from the schema when none exists; never touches one that does.
if(NOT EXISTS "${DB}")
    find_program(SQLITE3 sqlite3 REQUIRED)
    execute_process(COMMAND ${SQLITE3} "${DB}" INPUT_FILE "${SCHEMA}" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        file(REMOVE "${DB}")
        message(FATAL_ERROR "Cannot create ${DB} from ${SCHEMA}")
    endif()
endif()
