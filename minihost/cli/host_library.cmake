# Writes the table through which minihost.exe takes HOSTLIB.DLL's functions
# when first called (cli/host_library.cpp says why), from the .def that the
# library's link writes. Every function export gets the slot an import
# library would give it (__imp_NAME) and a stub (NAME); the slot starts at a
# thunk that has the function found, kept in the slot, and then called with
# the caller's registers and stack as they were. Data exports are left out:
# they cannot be taken late, and minihost.exe uses none.
#   cmake -DDEF=HOSTLIB.def -DOUT=host_entries.cpp -P host_library.cmake
file(STRINGS ${DEF} lines)
set(names "")
set(slots "")
set(thunks "")
set(i 0)
foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_@]*)[ \t]+@[0-9]+[ \t]*$")
        set(n ${CMAKE_MATCH_1})
        string(APPEND names "name${i}: .asciz \"${n}\"\n")
        string(APPEND slots ".globl __imp__${n}\n__imp__${n}: .long thunk${i}\n")
        string(APPEND thunks ".globl _${n}\n_${n}: jmp *__imp__${n}\n"
                             "thunk${i}: pushl $name${i}\n pushl $__imp__${n}\n jmp late_entry\n")
        math(EXPR i "${i} + 1")
    endif()
endforeach()
file(WRITE ${OUT} "// Written by minihost/cli/host_library.cmake from HOSTLIB.def.
asm(R\"(
.section .rdata,\"dr\"
${names}.data
.p2align 2
${slots}.text
${thunks}
# Stack: slot, name, the caller's return. eax, ecx (this) and edx are kept.
late_entry:
 pushl %eax
 pushl %ecx
 pushl %edx
 pushl 16(%esp)
 pushl 16(%esp)
 call _FindHostEntry
 addl $8, %esp
 movl %eax, 12(%esp)
 popl %edx
 popl %ecx
 popl %eax
 ret $4
)\");
")
