// Under AddressSanitizer a failed allocation returns null, as the C allocator
// does, so the out-of-memory paths can be tested.
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}
