// The common path of the forwarding stubs: %eax holds the index of the
// called name.  Only %eax, %ecx and %edx change (free at a cdecl call), and
// the stack is as the caller left it when the jump into the DLL happens.
        .text
        .globl  orvdc_dllhost_dispatch
        .hidden orvdc_dllhost_dispatch
        .type   orvdc_dllhost_dispatch, @function
        .p2align 4
orvdc_dllhost_dispatch:
        call    1f
1:      popl    %ecx
        addl    $_GLOBAL_OFFSET_TABLE_ + (. - 1b), %ecx
        movl    orvdc_dllhost_table@GOTOFF(%ecx, %eax, 4), %edx
        testl   %edx, %edx
        jz      2f
        jmp     *%edx
        // Not loaded yet: load on a 16-byte aligned stack, then try again.
2:      pushl   %ebp
        movl    %esp, %ebp
        pushl   %eax
        andl    $-16, %esp
        call    orvdc_dllhost_load
        movl    -4(%ebp), %eax
        movl    %ebp, %esp
        popl    %ebp
        jmp     orvdc_dllhost_dispatch
        .size   orvdc_dllhost_dispatch, . - orvdc_dllhost_dispatch

        .section .note.GNU-stack, "", @progbits
