// uint32_t orvdc_call_at_stack_offset(const void* fn, const uint32_t* args,
//                                     uint32_t count, uint32_t offset)
// Calls fn (cdecl) with `count` argument words, the stack pointer `offset`
// bytes (0..15) past a 16-byte boundary at the call instruction, as a
// 32-bit Windows caller, which keeps only 4-byte alignment, may leave it.
// Returns what fn returns in %eax.
        .text
        .globl  orvdc_call_at_stack_offset
        .type   orvdc_call_at_stack_offset, @function
        .p2align 4
orvdc_call_at_stack_offset:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %esi
        pushl   %edi
        movl    12(%ebp), %esi          // args
        movl    16(%ebp), %ecx          // count
        leal    16(, %ecx, 4), %eax     // room for the arguments and the offset
        subl    %eax, %esp
        andl    $-16, %esp
        addl    20(%ebp), %esp
        movl    %esp, %edi
        cld
        rep movsl
        call    *8(%ebp)
        leal    -8(%ebp), %esp
        popl    %edi
        popl    %esi
        popl    %ebp
        ret
        .size   orvdc_call_at_stack_offset, . - orvdc_call_at_stack_offset

// uint32_t orvdc_stack_at_call(void): the stack pointer at the instruction
// that called it.
        .globl  orvdc_stack_at_call
        .type   orvdc_stack_at_call, @function
        .p2align 4
orvdc_stack_at_call:
        leal    4(%esp), %eax
        ret
        .size   orvdc_stack_at_call, . - orvdc_stack_at_call

        .section .note.GNU-stack, "", @progbits
