# The script engine as a static library of its own: the amalgamated source
# that Debian's duktape-dev ships, copied into the build tree and edited so
# that a running script can be stopped:
#  - the interrupt counter and the execution timeout check are switched on;
#    the check calls script_timed_out (script/script_vm.cpp) with the heap's
#    user data;
#  - the regexp step limit comes from script/script_limits.h, and a long
#    regexp runs the same check every 65536 steps, an array sort every 4096
#    comparisons (the executor's interrupt never runs inside either);
#  - script_interrupt_soon makes the running thread take its interrupt at
#    its next instruction (the allocator calls it when it refuses a block).
# Every pattern must be found: a missing one stops the configure. The system
# library (libduktape.so) is never linked, and the engine is built without
# sanitizers or warnings (third-party code).

set(DUKTAPE_SOURCE_DIR /usr/share/duktape CACHE PATH "Folder of duktape.c, duktape.h and duk_config.h")
set(_duk_out ${CMAKE_BINARY_DIR}/duktape)
set(_duk_limits ${PROJECT_SOURCE_DIR}/script/script_limits.h)

foreach(_f duktape.c duktape.h duk_config.h)
  if(NOT EXISTS ${DUKTAPE_SOURCE_DIR}/${_f})
    message(FATAL_ERROR "${DUKTAPE_SOURCE_DIR}/${_f} is missing (install duktape-dev)")
  endif()
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${DUKTAPE_SOURCE_DIR}/duktape.c ${DUKTAPE_SOURCE_DIR}/duk_config.h ${DUKTAPE_SOURCE_DIR}/duktape.h
  ${_duk_limits})

file(STRINGS ${_duk_limits} _duk_step_line REGEX "SCRIPT_REGEXP_STEP_LIMIT = [0-9]+")
string(REGEX MATCH "[0-9]+" _duk_steps "${_duk_step_line}")
if(NOT _duk_steps)
  message(FATAL_ERROR "SCRIPT_REGEXP_STEP_LIMIT not found in ${_duk_limits}")
endif()

# _duk_edit(<variable> <file name> <pattern> <replacement>)
function(_duk_edit var name pattern replacement)
  string(FIND "${${var}}" "${pattern}" _at)
  if(_at EQUAL -1)
    message(FATAL_ERROR "Duktape's ${name}: pattern not found:\n${pattern}")
  endif()
  string(REPLACE "${pattern}" "${replacement}" _edited "${${var}}")
  set(${var} "${_edited}" PARENT_SCOPE)
endfunction()

# Writes only when the text changed, so a configure does not rebuild the engine.
function(_duk_write name text)
  file(WRITE ${_duk_out}/${name}.new "${text}")
  file(COPY_FILE ${_duk_out}/${name}.new ${_duk_out}/${name} ONLY_IF_DIFFERENT)
  file(REMOVE ${_duk_out}/${name}.new)
endfunction()

file(READ ${DUKTAPE_SOURCE_DIR}/duk_config.h _duk_config)
_duk_edit(_duk_config duk_config.h "#undef DUK_USE_INTERRUPT_COUNTER\n" "#define DUK_USE_INTERRUPT_COUNTER\n")
_duk_edit(_duk_config duk_config.h "#undef DUK_USE_EXEC_TIMEOUT_CHECK\n"
"#if defined(__cplusplus)
extern \"C\" {
#endif
int script_timed_out(void *udata);
#if defined(__cplusplus)
}
#endif
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) script_timed_out((udata))
")
_duk_write(duk_config.h "${_duk_config}")

file(READ ${DUKTAPE_SOURCE_DIR}/duktape.h _duk_header)
_duk_edit(_duk_header duktape.h "DUK_EXTERNAL_DECL void duk_destroy_heap(duk_context *ctx);\n"
"DUK_EXTERNAL_DECL void duk_destroy_heap(duk_context *ctx);
DUK_EXTERNAL_DECL void script_interrupt_soon(duk_context *ctx);
")
_duk_write(duktape.h "${_duk_header}")

file(READ ${DUKTAPE_SOURCE_DIR}/duktape.c _duk_source)
_duk_edit(_duk_source duktape.c "#define DUK_RE_EXECUTE_STEPS_LIMIT 1000000000L /* 1e9 */\n"
  "#define DUK_RE_EXECUTE_STEPS_LIMIT ${_duk_steps}L\n")
_duk_edit(_duk_source duktape.c
"			DUK_ERROR_RANGE(re_ctx->thr, DUK_STR_REGEXP_EXECUTOR_STEP_LIMIT);
			DUK_WO_NORETURN(return NULL;);
		}
		re_ctx->steps_count++;
"
"			DUK_ERROR_RANGE(re_ctx->thr, DUK_STR_REGEXP_EXECUTOR_STEP_LIMIT);
			DUK_WO_NORETURN(return NULL;);
		}
		re_ctx->steps_count++;
		if ((re_ctx->steps_count & 0xffffUL) == 0 &&
		    DUK_USE_EXEC_TIMEOUT_CHECK(re_ctx->thr->heap->heap_udata)) {
			re_ctx->thr->interrupt_init = 0;
			re_ctx->thr->interrupt_counter = 0;
			DUK_ERROR_RANGE(re_ctx->thr, \"execution timeout\");
			DUK_WO_NORETURN(return NULL;);
		}
")
_duk_edit(_duk_source duktape.c
"DUK_LOCAL duk_small_int_t duk__array_sort_compare(duk_hthread *thr, duk_int_t idx1, duk_int_t idx2) {
"
"static duk_uint32_t duk__script_sort_steps;
DUK_LOCAL duk_small_int_t duk__array_sort_compare(duk_hthread *thr, duk_int_t idx1, duk_int_t idx2) {
")
_duk_edit(_duk_source duktape.c
"		return 0;
	}

	have1 = duk_get_prop_index(thr, idx_obj, (duk_uarridx_t) idx1);
"
"		return 0;
	}

	if ((++duk__script_sort_steps & 0xfffUL) == 0 && DUK_USE_EXEC_TIMEOUT_CHECK(thr->heap->heap_udata)) {
		thr->interrupt_init = 0;
		thr->interrupt_counter = 0;
		DUK_ERROR_RANGE(thr, \"execution timeout\");
		DUK_WO_NORETURN(return 0;);
	}
	have1 = duk_get_prop_index(thr, idx_obj, (duk_uarridx_t) idx1);
")
string(APPEND _duk_source "
/* The running thread takes its interrupt before its next instruction. */
DUK_EXTERNAL void script_interrupt_soon(duk_context *ctx) {
	duk_hthread *thr = (duk_hthread *) ctx;
	if (thr != NULL && thr->heap != NULL && thr->heap->curr_thread != NULL) {
		thr->heap->curr_thread->interrupt_counter = 0;
	}
}
")
_duk_write(duktape.c "${_duk_source}")

add_library(rut_duktape STATIC ${_duk_out}/duktape.c)
target_include_directories(rut_duktape PUBLIC ${_duk_out})
set_target_properties(rut_duktape PROPERTIES C_STANDARD 99)
target_compile_options(rut_duktape PRIVATE -w -fno-sanitize=all)
