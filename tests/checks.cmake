# The generated kernel bodies in src/fft/generated/ must be exactly what the
# generator produces now: a change to the generator without regenerating (or
# a hand edit of the output) fails here.
add_test(NAME generated_kernels_up_to_date
         COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/src/fft/gen/gen_kernels.py --check)
set_tests_properties(generated_kernels_up_to_date PROPERTIES TIMEOUT 300)
