# cmake -DFROM=dir -DTO=dir -P copy_corpus.cmake: TO becomes a fresh copy of FROM.
file(REMOVE_RECURSE ${TO})
file(MAKE_DIRECTORY ${TO})
file(COPY ${FROM}/ DESTINATION ${TO})
