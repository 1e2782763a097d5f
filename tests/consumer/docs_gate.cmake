# Proves the reference gate closes: Doxygen with the project's settings, run over a copy of
# kesvar.h with an undocumented export, an undocumented record field and an undocumented
# inline helper added, must fail and name all three. Run with cmake -P -DDOXYGEN=... -DDOXYFILE_IN=... -DHEADER=... -DWORK_DIR=...
cmake_minimum_required(VERSION 3.16)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(READ "${HEADER}" header)
set(probe [=[
/** @brief A documented record with one undocumented field. */
typedef struct KRProbeRecord {
    int32_t documented; /**< Documented. */
    int32_t probeUndocumentedField;
} KRProbeRecord;
KR_API int32_t KR_CALL KRProbeUndocumentedExport(int32_t value);
KR_INLINE int32_t KRProbeUndocumentedInline(int32_t value) { return value; }
#ifdef __cplusplus
}
#endif

#endif /* KESVAR_H */]=])
string(FIND "${header}" "#ifdef __cplusplus\n}\n#endif\n\n#endif /* KESVAR_H */" tail REVERSE)
if(tail EQUAL -1)
    message(FATAL_ERROR "cannot find the end of ${HEADER}")
endif()
string(SUBSTRING "${header}" 0 ${tail} head)
file(WRITE "${WORK_DIR}/kesvar.h" "${head}${probe}\n")

set(PROJECT_VERSION probe)
set(KESVAR_DOCS_INPUT "\"${WORK_DIR}/kesvar.h\"")
set(KESVAR_DOCS_MAINPAGE "")
set(KESVAR_DOCS_OUTPUT "${WORK_DIR}/out")
configure_file("${DOXYFILE_IN}" "${WORK_DIR}/Doxyfile" @ONLY)
execute_process(COMMAND "${DOXYGEN}" "${WORK_DIR}/Doxyfile" WORKING_DIRECTORY "${WORK_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0)
    message(FATAL_ERROR "Doxygen accepted undocumented names:\n${out}${err}")
endif()
foreach(name KRProbeUndocumentedExport probeUndocumentedField KRProbeUndocumentedInline)
    if(NOT err MATCHES "${name}")
        message(FATAL_ERROR "Doxygen failed but did not name ${name}:\n${err}")
    endif()
endforeach()
message(STATUS "the reference gate rejected all three undocumented names")
